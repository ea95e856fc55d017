// SPDX-License-Identifier: Apache-2.0
// What the Bridge control library reads from the Bridge's messages: advertising reports of a search (names, the
// Kelvo service, structures that run past the end) and the command answers, always within the bytes that arrived.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/kelvoctl/AdvertisingReport.h"
#include "bridge/kelvoctl/BridgeAnswer.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kKelvoUuid = {0x03, 0x68, 0x91, 0x0E, 0x3F, 0x6B, 0x57, 0xA5,
                          0x13, 0x4F, 0xAA, 0xF0, 0xE5, 0x2E, 0x3E, 0x72};
const Bytes kAddress = {0x13, 0x71, 0xDA, 0x7D, 0x1A, 0x00};  // 00:1A:7D:DA:71:13

Bytes structure(uint8_t type, const Bytes& data) {
  Bytes bytes{static_cast<uint8_t>(data.size() + 1), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

Bytes report(const std::vector<Bytes>& structures) {
  Bytes message{0, AdvertisingReport::kCode};
  message.insert(message.end(), kAddress.begin(), kAddress.end());
  for (const Bytes& part : structures) message.insert(message.end(), part.begin(), part.end());
  message[0] = static_cast<uint8_t>(message.size());
  return message;
}

Bytes text(const std::string& characters) { return Bytes(characters.begin(), characters.end()); }

TEST(AdvertisingReport, NamesAndTheKelvoServiceAreReadWhereTheyFit) {
  Bytes twoUuids = kKelvoUuid;
  twoUuids.insert(twoUuids.end(), kKelvoUuid.begin(), kKelvoUuid.end());
  Bytes otherUuid = kKelvoUuid;
  otherUuid[0] ^= 1;
  Bytes runsPast = report({structure(9, text("Kelvo 1")), structure(7, kKelvoUuid)});
  runsPast.pop_back();  // the UUID structure's last byte is missing
  runsPast[0] = static_cast<uint8_t>(runsPast.size());
  const struct {
    const char* name;
    Bytes message;
    std::string readerName;
    bool kelvo;
  } cases[] = {
      {"name and service", report({structure(9, text("Kelvo 5123456789")), structure(7, kKelvoUuid)}),
       "Kelvo 5123456789", true},
      {"shortened name", report({structure(8, text("Kel"))}), "Kel", false},
      {"two UUIDs in the list", report({structure(7, twoUuids)}), "", false},
      {"another service", report({structure(7, otherUuid)}), "", false},
      {"a structure running past the end", runsPast, "Kelvo 1", false},
      {"flags only", report({structure(1, {0x06})}), "", false},
      {"a zero-length structure ends the data", report({Bytes{0}, structure(9, text("hidden"))}), "", false},
  };
  for (const auto& test : cases) {
    kelvoctl_search_record record;
    ASSERT_TRUE(AdvertisingReport::parse(test.message.data(), test.message.size(), record)) << test.name;
    EXPECT_EQ(Bytes(record.address, record.address + 6), kAddress) << test.name;
    EXPECT_EQ(std::string(record.name), test.readerName) << test.name;
    EXPECT_EQ(record.has_name != 0, !test.readerName.empty()) << test.name;
    EXPECT_EQ(record.has_kelvo_service != 0, test.kelvo) << test.name;
  }
}

TEST(AdvertisingReport, OnlyReportsOfAtLeastNineBytesAreRead) {
  const Bytes full = report({structure(9, text("Kelvo"))});
  kelvoctl_search_record record;
  const Bytes end{2, AdvertisingReport::kEndCode};
  EXPECT_FALSE(AdvertisingReport::parse(end.data(), end.size(), record));
  EXPECT_FALSE(AdvertisingReport::parse(full.data(), 8, record));  // cut off in the address
  EXPECT_FALSE(AdvertisingReport::parse(nullptr, 0, record));
  // A length byte larger than what arrived: only what arrived is read, the name that did not fit is not there.
  Bytes claimsMore = full;
  claimsMore.resize(12);
  ASSERT_TRUE(AdvertisingReport::parse(claimsMore.data(), claimsMore.size(), record));
  EXPECT_EQ(record.has_name, 0);
  // A name longer than the record keeps its first 31 characters.
  const Bytes longName = report({structure(9, text(std::string(40, 'n')))});
  ASSERT_TRUE(AdvertisingReport::parse(longName.data(), longName.size(), record));
  EXPECT_EQ(std::string(record.name), std::string(31, 'n'));
}

TEST(BridgeAnswer, EachReaderTakesOnlyWhatTheAnswerHolds) {
  uint16_t word = 0;
  uint16_t connection = 7;
  EXPECT_TRUE(BridgeAnswer({6, 0x14, 0x00, 0x18, 0x12, 0x34}).status(word, connection));
  EXPECT_EQ(word, 0x1800);
  EXPECT_EQ(connection, 0x1234);
  EXPECT_TRUE(BridgeAnswer({4, 0x14, 0x00, 0x02}).status(word, connection));
  EXPECT_EQ(word, 0x0200);
  EXPECT_EQ(connection, 0);
  EXPECT_FALSE(BridgeAnswer({3, 0x14, 0x00}).status(word, connection));
  // The length byte bounds the answer even when more bytes arrived.
  EXPECT_FALSE(BridgeAnswer({3, 0x14, 0x00, 0x18, 0x12, 0x34}).status(word, connection));

  std::vector<Bytes> addresses;
  auto collect = [&addresses](const uint8_t* address) { addresses.emplace_back(address, address + 6); };
  EXPECT_TRUE(BridgeAnswer({2, 0x11}).pairedAddresses(collect));
  EXPECT_TRUE(addresses.empty());
  EXPECT_TRUE(
      BridgeAnswer({16, 0x11, 1, 2, 3, 4, 5, 6, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 9, 9}).pairedAddresses(collect));
  EXPECT_EQ(addresses, std::vector<Bytes>({{1, 2, 3, 4, 5, 6}}));  // no entry of none, no partial entry
  EXPECT_FALSE(BridgeAnswer({}).pairedAddresses(collect));

  std::string words;
  EXPECT_TRUE(BridgeAnswer({7, 0x18, '1', '.', '4', '2', 0}).version(words));
  EXPECT_EQ(words, "1.42");
  EXPECT_TRUE(BridgeAnswer({7, 0x13, 'D', 'e', 's', 'k'}).name(words));  // one byte short of its length
  EXPECT_EQ(words, "Desk");
  EXPECT_FALSE(BridgeAnswer({2, 0x18}).version(words));

  bool done = false;
  uint8_t control = 0;
  EXPECT_TRUE(BridgeAnswer({4, 0x17, 0, 0}).indication(done, control));
  EXPECT_TRUE(done);
  EXPECT_TRUE(BridgeAnswer({4, 0x17, 1, 9}).indication(done, control));
  EXPECT_FALSE(done);
  EXPECT_EQ(control, 9);

  Bytes response;
  EXPECT_TRUE(BridgeAnswer({5, 0x96, 0, 1, 2}).rpc(response));
  EXPECT_EQ(response, (Bytes{0, 1, 2}));
  EXPECT_FALSE(BridgeAnswer({5, 0x95, 0, 1, 2}).rpc(response));  // another code
  EXPECT_FALSE(BridgeAnswer({2, 0x96}).rpc(response));

  int result = -1;
  EXPECT_TRUE(BridgeAnswer({3, 1, 0}).result(result));
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(BridgeAnswer({1}).result(result));
}

}  // namespace
