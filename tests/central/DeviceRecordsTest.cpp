// SPDX-License-Identifier: Apache-2.0
// The byte records a reader's driver and the in-process requests hand the application (the descriptor and the
// 44-byte device state), and the working-time ranges record the application hands back.
#include <gtest/gtest.h>

#include "devices/DeviceDescriptorConverter.h"
#include "devices/DeviceStateRecord.h"

namespace {

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray result;
  for (int value : values) result.append(static_cast<char>(value));
  return result;
}

// One entry: [entry length][key length][key][value length][value].
QByteArray entry(const QByteArray& key, const QByteArray& value) {
  QByteArray item;
  item.append(static_cast<char>(key.size() + value.size() + 2));
  item.append(static_cast<char>(key.size()));
  item.append(key);
  item.append(static_cast<char>(value.size()));
  item.append(value);
  return item;
}

QByteArray group(const QByteArray& entries) { return QByteArray(1, static_cast<char>(entries.size())) + entries; }

struct DescriptorCase {
  const char* name;
  QByteArray data;
  bool valid;
  QMap<QString, QString> descriptor;
};

class DescriptorConversionTest : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(DescriptorConversionTest, ConvertsOrRefuses) {
  const DescriptorCase& example = GetParam();
  QMap<QString, QString> descriptor{{"stale", "value"}};
  QList<DeviceDescriptorConverter::Entry> entries;
  EXPECT_EQ(DeviceDescriptorConverter::convert(example.data, descriptor, entries), example.valid);
  if (example.valid) {
    EXPECT_EQ(descriptor, example.descriptor);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, DescriptorConversionTest,
    ::testing::Values(
        DescriptorCase{"empty", QByteArray(), true, {}},
        DescriptorCase{"groupLongerThanData", bytes({5, 0, 0, 0}), false, {}},
        DescriptorCase{"oneEmptyEntry", bytes({3, 0, 0, 0}), true, {{"", ""}}},
        DescriptorCase{"emptyGroup", bytes({0}), true, {}},
        DescriptorCase{"shortSerialAsHexDigits",
                       group(entry("Serial", bytes({0x51, 0x23, 0x45, 0x67, 0x89}))),
                       true,
                       {{"Serial", "5123456789"}}},
        DescriptorCase{
            "longSerialAsText", group(entry("Serial", "KLV21234567890")), true, {{"Serial", "KLV21234567890"}}},
        DescriptorCase{"macLittleEndian",
                       group(entry("MAC", bytes({0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}))),
                       true,
                       {{"MAC", "AABBCCDDEEFF"}}},
        DescriptorCase{"twoGroupsLaterDuplicateWins",
                       group(entry("Firmware", "1.0") + entry("Build", "x")) + group(entry("Firmware", "2.1.7-K2")),
                       true,
                       {{"Firmware", "2.1.7-K2"}, {"Build", "x"}}},
        DescriptorCase{"valueRunsPastTheGroup", bytes({4, 4, 1, 'k', 3, 'v'}), false, {}},
        DescriptorCase{"entriesDoNotFillTheGroup", bytes({4, 3, 0, 0, 0, 0}), false, {}},
        DescriptorCase{"entryLengthPastTheData", bytes({3, 9, 0, 0}), false, {}},
        DescriptorCase{"groupWithoutItsEntry", bytes({1, 0}), false, {}}),
    [](const ::testing::TestParamInfo<DescriptorCase>& info) { return std::string(info.param.name); });

TEST(DescriptorConversionLogTest, EntriesAreListedInTheOrderRead) {
  QMap<QString, QString> descriptor;
  QList<DeviceDescriptorConverter::Entry> entries;
  ASSERT_TRUE(DeviceDescriptorConverter::convert(group(entry("Serial", "K2000000042") + entry("Hardware", "2.0rev1")),
                                                 descriptor, entries));
  ASSERT_EQ(entries.size(), 2);
  EXPECT_EQ(entries[0], DeviceDescriptorConverter::Entry("Serial", "K2000000042"));
  EXPECT_EQ(entries[1], DeviceDescriptorConverter::Entry("Hardware", "2.0rev1"));
}

TEST(DeviceStateRecordTest, ReadsEveryFieldLittleEndianWithTheSignedCoverage) {
  QByteArray record = bytes({1, 6, 87, 2, 0x34, 0x12, 1, 1, 2, 1, 0, 1, 3, 1, 0, 0xBA});
  const int ranges[14] = {480, 1080, -1, -1, 1920, 2520, -1, -1, -1, -1, -1, -1, 9000, 10079};
  for (int value : ranges) {
    record.append(static_cast<char>(value & 0xFF));
    record.append(static_cast<char>((value >> 8) & 0xFF));
  }
  DeviceStateRecord state;
  ASSERT_TRUE(state.parse(record));
  EXPECT_TRUE(state.connected);
  EXPECT_EQ(state.cardStatus, 6);
  EXPECT_EQ(state.batteryLevel, 87);
  EXPECT_EQ(state.encryptionStatus, 2);
  EXPECT_EQ(state.cardAtrNumber, 0x1234);
  EXPECT_EQ(state.usbCableStatus, 1);
  EXPECT_TRUE(state.encryptionUsed);
  EXPECT_EQ(state.settings.signalStrength, 2);
  EXPECT_EQ(state.settings.contrastLevel, 3);
  EXPECT_EQ(state.settings.encryptionEnabled, 0);
  EXPECT_EQ(state.settings.coverageRssiMinValue, -70);
  EXPECT_EQ(state.ranges.ranges[0].start, 480);
  EXPECT_EQ(state.ranges.ranges[1].end, -1);
  EXPECT_EQ(state.ranges.ranges[6].end, 10079);
}

TEST(DeviceStateRecordTest, OnlyConnectedOneCountsAsConnectedAndOnlyFortyFourBytesParse) {
  QByteArray record(44, '\0');
  record[0] = 2;
  DeviceStateRecord state;
  ASSERT_TRUE(state.parse(record));
  EXPECT_FALSE(state.connected);
  EXPECT_FALSE(state.parse(QByteArray(43, '\1')));
  EXPECT_FALSE(state.parse(QByteArray(45, '\1')));
}

// The ranges the application sends come back in the state it reads; encoder and decoder must agree on the layout.
TEST(TimeRangesRecordTest, RangesSentAreTheRangesTheStateReadsBack) {
  TimeRanges sent;
  sent.ranges[0] = {0, 1};
  sent.ranges[2] = {1440 + 480, 1440 + 1020};
  sent.ranges[5] = {256, 32767};
  sent.ranges[6] = {6 * 1440, 7 * 1440 - 1};
  const QByteArray ranges = sent.toRecord();
  ASSERT_EQ(ranges.size(), 28);
  EXPECT_EQ(ranges.left(8), bytes({0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF})) << "start before end, low byte first";

  DeviceStateRecord state;
  ASSERT_TRUE(state.parse(QByteArray(16, '\0') + ranges));
  EXPECT_EQ(state.ranges, sent);
}

}  // namespace
