// SPDX-License-Identifier: Apache-2.0
// The bytes of the raw RPC reader operations, read from answers a reader might cut short or get wrong. The
// device's own tests follow the same operations through transmit and the log.
#include <gtest/gtest.h>

#include <climits>

#include "devices/KelvoRpcCodec.h"

namespace {

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray result;
  for (int value : values) result.append(static_cast<char>(value));
  return result;
}

// Status, own index 3, then the bonds 0 "pc", 7 (no name) and 9 "laptop".
const QByteArray kThreeBonds = bytes({0, 3, 0, 2, 'p', 'c', 7, 0, 9, 6, 'l', 'a', 'p', 't', 'o', 'p'});

// However an answer is cut short, it is refused or gives exactly the bonds that arrived whole: a cut inside an
// entry is an error, a cut between entries a shorter list, and a single byte after the last entry is ignored.
TEST(KelvoRpcCodecTest, BondListCutAnywhereGivesTheWholeBondsOrAnError) {
  const struct {
    int length;
    bool ok;
    QMap<int, QString> names;
  } cuts[] = {
      {2, true, {}},
      {3, true, {}},
      {4, false, {}},
      {5, false, {}},
      {6, true, {{0, "pc"}}},
      {7, true, {{0, "pc"}}},
      {8, true, {{0, "pc"}, {7, ""}}},
      {9, true, {{0, "pc"}, {7, ""}}},
      {10, false, {}},
      {15, false, {}},
      {16, true, {{0, "pc"}, {7, ""}, {9, "laptop"}}},
  };
  for (const auto& cut : cuts) {
    QMap<int, QString> names;
    int ownIndex = -1;
    QString problem;
    const bool ok = KelvoRpcCodec::readBondList(kThreeBonds.left(cut.length), names, ownIndex, problem);
    EXPECT_EQ(ok, cut.ok) << cut.length;
    EXPECT_EQ(ownIndex, 3) << cut.length;
    if (cut.ok) {
      EXPECT_EQ(names, cut.names) << cut.length;
      EXPECT_TRUE(problem.isEmpty()) << cut.length;
    } else {
      EXPECT_EQ(problem, "Invalid response data of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST") << cut.length;
    }
  }
}

TEST(KelvoRpcCodecTest, BondListOfTheLongestNamesAndAnswersWithoutAList) {
  const QByteArray longName(255, 'n');
  QMap<int, QString> names;
  int ownIndex = -1;
  QString problem;
  EXPECT_TRUE(KelvoRpcCodec::readBondList(bytes({0, 255, 255, 255}) + longName, names, ownIndex, problem));
  EXPECT_EQ(ownIndex, 255);
  EXPECT_EQ(names, (QMap<int, QString>{{255, QString::fromLatin1(longName)}}));

  EXPECT_FALSE(KelvoRpcCodec::readBondList(bytes({0, 255, 255, 255}) + longName.left(254), names, ownIndex, problem));

  const struct {
    QByteArray answer;
    const char* problem;
  } refusals[] = {
      {QByteArray(), "Empty transmit response of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST"},
      {bytes({0}), "Invalid response size of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST"},
      {bytes({2}), ""},
      {bytes({1, 4, 0, 2, 'p', 'c'}), ""},
  };
  for (const auto& refusal : refusals) {
    names.clear();
    ownIndex = -1;
    problem.clear();
    EXPECT_FALSE(KelvoRpcCodec::readBondList(refusal.answer, names, ownIndex, problem)) << refusal.problem;
    EXPECT_EQ(problem, QLatin1String(refusal.problem));
    EXPECT_EQ(ownIndex, -1) << "a refused answer says nothing about the bonds";
    EXPECT_TRUE(names.isEmpty());
  }
}

TEST(KelvoRpcCodecTest, ExternalFlashRequestCarriesOffsetAndLengthLittleEndianAndOnlyDataThatExists) {
  const QByteArray data(0x010203 + 0x0405, '\x33');
  QByteArray request;
  QString problem;
  ASSERT_TRUE(KelvoRpcCodec::externalFlashWriteRequest(data, 0x010203, 0x0405, request, problem));
  EXPECT_EQ(request.left(7), bytes({20, 0x03, 0x02, 0x01, 0x00, 0x05, 0x04})) << "offset four bytes, length two";
  EXPECT_EQ(request.size(), 7 + 0x0405);
  ASSERT_TRUE(KelvoRpcCodec::externalFlashWriteRequest(data, 0, 0, request, problem));
  EXPECT_EQ(request, bytes({20, 0, 0, 0, 0, 0, 0}));

  const struct {
    int offset;
    int length;
    const char* problem;
  } refused[] = {
      {0, KelvoRpcCodec::kExternalFlashLengthLimit, "Invalid offset/length of RPC_METHOD_WRITE_EXTERNAL_FLASH"},
      {0, -1, "Invalid offset/length of RPC_METHOD_WRITE_EXTERNAL_FLASH"},
      {-1, 1, "Invalid offset/length of RPC_METHOD_WRITE_EXTERNAL_FLASH"},
      {0x010203, 0x0406, "Invalid data size of RPC_METHOD_WRITE_EXTERNAL_FLASH"},
      {INT_MAX, 2, "Invalid data size of RPC_METHOD_WRITE_EXTERNAL_FLASH"},  // offset + length must not wrap
  };
  for (const auto& example : refused) {
    request = bytes({1});
    problem.clear();
    EXPECT_FALSE(KelvoRpcCodec::externalFlashWriteRequest(data, example.offset, example.length, request, problem))
        << example.offset << "+" << example.length;
    EXPECT_EQ(problem, QLatin1String(example.problem)) << example.offset << "+" << example.length;
    EXPECT_EQ(request, bytes({1})) << "nothing built";
  }
}

}  // namespace
