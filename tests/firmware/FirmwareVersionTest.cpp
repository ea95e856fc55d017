// SPDX-License-Identifier: Apache-2.0
#include "trevalon/firmware/FirmwareVersion.h"

#include <gtest/gtest.h>

namespace {

using trevalon::FirmwareVersion;

TEST(FirmwareVersion, TextIsReadAndWrittenBack) {
  const struct {
    const char* text;
    std::vector<uint32_t> numbers;
    const char* tag;
    const char* written;
  } cases[] = {
      {"2.1.7-GOV", {2, 1, 7}, "GOV", "2.1.7-GOV"},
      {"3", {3}, "", "3"},
      {"1.x.5", {1, 0, 5}, "", "1.0.5"},
      {"1.4.0-RC-2", {1, 4, 0}, "RC-2", "1.4.0-RC-2"},
      {"", {0}, "", "0"},
      {"1.2.", {1, 2, 0}, "", "1.2.0"},
      {"99999999999.1", {4294967295U, 1}, "", "4294967295.1"},
  };
  for (const auto& given : cases) {
    const FirmwareVersion version = FirmwareVersion::parse(given.text);
    EXPECT_EQ(version.numbers(), given.numbers) << given.text;
    EXPECT_EQ(version.tag(), given.tag) << given.text;
    EXPECT_EQ(version.toString(), given.written) << given.text;
  }
}

TEST(FirmwareVersion, OrderIsNumericThenLengthThenTag) {
  const std::pair<const char*, const char*> lowerHigher[] = {
      {"1.9", "1.10"},         {"1.4", "1.4.0"},       {"1.4.0-GOV", "1.4.0"}, {"1.4.0-A", "1.4.0-B"},
      {"1.4.0-A", "1.4.0-AB"}, {"2.0.0-GOV", "2.0.0"}, {"0", "0.0.1"},         {"1.99.99", "2"},
  };
  for (const auto& [lower, higher] : lowerHigher) {
    EXPECT_TRUE(FirmwareVersion::parse(lower) < FirmwareVersion::parse(higher)) << lower << " < " << higher;
    EXPECT_FALSE(FirmwareVersion::parse(higher) < FirmwareVersion::parse(lower)) << higher << " < " << lower;
    EXPECT_NE(FirmwareVersion::parse(lower), FirmwareVersion::parse(higher));
  }
  EXPECT_EQ(FirmwareVersion::parse("2.0.0"), FirmwareVersion::parse("2.0.0"));
  EXPECT_FALSE(FirmwareVersion::parse("2.0.0") < FirmwareVersion::parse("2.0.0"));
  EXPECT_NE(FirmwareVersion::parse("2.0"), FirmwareVersion::parse("2.0.0"));
}

}  // namespace
