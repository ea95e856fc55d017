// The driver's log file under the logging switch: written only when the marker exists, and bounded.

#include "RotatingLogFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TempDirectory.h"

namespace kelvo::driver {
namespace {

std::string contentOf(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(RotatingLogFileTest, FileNeverGrowsPastItsLimitAndTheOlderHalfIsKept) {
  test::TempDirectory directory;
  const std::string path = directory.file("driver.log");
  RotatingLogFile log(path, 100);
  for (int i = 0; i < 30; ++i) log.write("line " + std::to_string(i) + " of the driver log\n");
  EXPECT_LE(std::filesystem::file_size(path), 100u);
  EXPECT_LE(std::filesystem::file_size(path + ".1"), 100u);
  EXPECT_NE(contentOf(path).find("line 29 of the driver log\n"), std::string::npos);
  const std::string older = contentOf(path + ".1");
  EXPECT_EQ(older.find("line 0 "), std::string::npos) << "only one older file is kept";
  EXPECT_FALSE(std::filesystem::exists(path + ".2"));
}

TEST(RotatingLogFileTest, LinesWithoutTheirNewlineStillGetOneLineEach) {
  test::TempDirectory directory;
  RotatingLogFile log(directory.file("driver.log"));
  log.write("first");
  log.write("second\n");
  EXPECT_EQ(contentOf(directory.file("driver.log")), "first\nsecond\n");
}

TEST(RotatingLogFileTest, EnabledOnlyByTheLoggingMarker) {
  test::TempDirectory directory;
  EXPECT_FALSE(RotatingLogFile::enableIfMarked(directory.path()));
  EXPECT_FALSE(std::filesystem::exists(directory.file("driver.log")));
}

}  // namespace
}  // namespace kelvo::driver
