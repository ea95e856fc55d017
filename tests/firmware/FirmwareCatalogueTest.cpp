// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDirectory.h"
#include "trevalon/firmware/FirmwareFlasher.h"

namespace {

using trevalon::Firmware;
using trevalon::FirmwareFlasher;
namespace fs = std::filesystem;

// A catalogue folder written by the test: descriptors and their images.
class Catalogue {
 public:
  explicit Catalogue(const std::string& root) : root(root) { fs::create_directories(root); }

  // A descriptor with the given children (XML text) and its image: named after the descriptor when `image` is
  // empty, none at all when it is "-".
  std::string add(const std::string& file, const std::string& children, const std::string& image = "",
                  const std::string& rootAttributes = "version=\"2\"") {
    const fs::path path = fs::path(root) / file;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "<?xml version=\"1.0\"?>\n<firmware " << rootAttributes << ">" << children << "</firmware>";
    const std::string imageName = image.empty() ? path.stem().string() + ".bin" : image;
    if (image != "-") std::ofstream(path.parent_path() / imageName, std::ios::binary) << "\x01\x02\x03";
    return path.string();
  }
  // The usual children of a descriptor for `version`, plus `extra`.
  static std::string children(const std::string& version, const std::string& extra = "") {
    return "<name>Kelvo firmware</name><version>" + version + "</version><date>01.02.2026 10:30</date>" + extra;
  }

  std::string root;
};

class FirmwareCatalogueTest : public ::testing::Test {
 protected:
  FirmwareFlasher::Reader reader(const std::string& firmware, const std::string& serial = "K2000000042") {
    FirmwareFlasher::Reader result;
    result.values = {{"Serial", serial}, {"Firmware", firmware}, {"Hardware", "B"}, {"Bootloader", "1.0"}};
    result.displayName = "Kelvo " + serial;
    result.debug = [this](const std::string& line) { debug.push_back(line); };
    result.error = [this](const std::string& line) { errors.push_back(line); };
    return result;
  }
  std::shared_ptr<Firmware> update(const FirmwareFlasher::Reader& of) { return flasher.findUpdate(of, {"ble", "usb"}); }

  kelvo::test::TempDirectory directory;
  Catalogue catalogue{directory.file("Firmware")};
  FirmwareFlasher flasher;
  std::vector<std::string> debug;
  std::vector<std::string> errors;
};

TEST_F(FirmwareCatalogueTest, DescriptorsAreReadAsTheyAreWritten) {
  catalogue.add("k2-210.xml",
                Catalogue::children("2.1.0",
                                    "<description>Faster pairing</description><fileId>k2.bin</fileId>"
                                    "<serial>K2.*</serial><method>ble</method><unknown>x</unknown>"),
                "k2.bin");
  const std::shared_ptr<Firmware> firmware = FirmwareFlasher::parse(catalogue.root + "/k2-210.xml");
  ASSERT_TRUE(firmware);
  EXPECT_EQ(firmware->name, "Kelvo firmware");
  EXPECT_EQ(firmware->description, "Faster pairing");
  EXPECT_EQ(firmware->version.toString(), "2.1.0");
  EXPECT_EQ(firmware->id, "k2-210");
  EXPECT_EQ(firmware->data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(firmware->serialPattern->expression(), "K2.*");
  EXPECT_EQ(firmware->hardwarePattern->expression(), ".*");
  std::tm local{};
  local.tm_mday = 1;
  local.tm_mon = 1;
  local.tm_year = 126;
  local.tm_hour = 10;
  local.tm_min = 30;
  local.tm_isdst = -1;
  EXPECT_EQ(firmware->date, std::mktime(&local));
}

TEST_F(FirmwareCatalogueTest, FaultyDescriptorsAreLeftOutAndTheRestLoads) {
  const struct {
    const char* file;
    std::string children;
    std::string image;
    std::string rootAttributes;
    bool loads;
  } cases[] = {
      {"root-version-1.xml", Catalogue::children("2.0"), "root-version-1.bin", "version=\"1\"", false},
      {"root-version-2abc.xml", Catalogue::children("2.0"), "root-version-2abc.bin", "version=\"2abc\"", true},
      {"version-not-first.xml", Catalogue::children("2.0"), "version-not-first.bin", "kind=\"x\" version=\"2\"", false},
      {"no-attribute.xml", Catalogue::children("2.0"), "no-attribute.bin", "", false},
      {"no-name.xml", "<version>2.0</version><date>01.02.2026 10:30</date>", "no-name.bin", "version=\"2\"", false},
      {"no-date.xml", "<name>n</name><version>2.0</version>", "no-date.bin", "version=\"2\"", false},
      {"no-version.xml", "<name>n</name><date>01.02.2026 10:30</date>", "no-version.bin", "version=\"2\"", false},
      {"no-image.xml", Catalogue::children("2.0"), "-", "version=\"2\"", false},
      {"other-image.xml", Catalogue::children("2.0", "<fileid>shared.bin</fileid>"), "shared.bin", "version=\"2\"",
       true},
      {"bad-pattern.xml", Catalogue::children("2.0", "<serial>K2(</serial>"), "bad-pattern.bin", "version=\"2\"",
       false},
      {"bad-date-kept.xml", Catalogue::children("2.0", "<date>soon</date>"), "bad-date-kept.bin", "version=\"2\"",
       true},
      {"sub/nested.xml", Catalogue::children("2.0"), "nested.bin", "version=\"2\"", true},
  };
  for (const auto& given : cases) catalogue.add(given.file, given.children, given.image, given.rootAttributes);
  std::ofstream(catalogue.root + "/broken.xml") << "<firmware version=\"2\"><name>";
  std::ofstream(catalogue.root + "/other.xml") << "<package version=\"2\"/>";
  flasher.load(catalogue.root);
  flasher.load(directory.file("missing"));

  std::vector<std::string> loaded;
  for (const auto& firmware : flasher.firmwares()) loaded.push_back(firmware->id);
  for (const auto& given : cases) {
    const std::string id = fs::path(given.file).stem().string();
    EXPECT_EQ(std::count(loaded.begin(), loaded.end(), id), given.loads ? 1 : 0) << given.file;
  }
  EXPECT_EQ(loaded.size(), 4U);
}

TEST_F(FirmwareCatalogueTest, MatchingTestsEachValueInTurnAndSaysWhichFailed) {
  catalogue.add("k2.xml", Catalogue::children("2.1.0",
                                              "<serial>K2.*</serial><hardware>A|B</hardware>"
                                              "<bootloader>1\\..*</bootloader><firmware>2\\.0\\..*</firmware>"
                                              "<method>ble</method>"));
  flasher.load(catalogue.root);
  const Firmware& firmware = *flasher.firmwares().at(0);
  EXPECT_TRUE(FirmwareFlasher::match(firmware, reader("2.0.3"), "ble"));
  EXPECT_FALSE(FirmwareFlasher::match(firmware, reader("2.0.3", "5123456789"), "ble"));
  EXPECT_FALSE(FirmwareFlasher::match(firmware, reader("2.1.0"), "ble"));
  EXPECT_FALSE(FirmwareFlasher::match(firmware, reader("2.0.3"), "usb"));
  // The pattern must match the whole value, not a part of it.
  EXPECT_FALSE(FirmwareFlasher::match(firmware, reader("12.0.3"), "ble"));
  EXPECT_EQ(debug, (std::vector<std::string>{"Kelvo firmware (k2): matched",
                                             "Kelvo firmware (k2): could not match serial 5123456789",
                                             "Kelvo firmware (k2): could not match firmware 2.1.0",
                                             "Kelvo firmware (k2): could not match method usb",
                                             "Kelvo firmware (k2): could not match firmware 12.0.3"}));
}

TEST_F(FirmwareCatalogueTest, TheNewestFittingImageIsTheUpdate) {
  catalogue.add("a-190.xml", Catalogue::children("1.9.0"));
  catalogue.add("b-1100.xml", Catalogue::children("1.10.0"));
  catalogue.add("c-200.xml", Catalogue::children("2.0.0", "<method>usb</method>"));
  catalogue.add("d-300.xml", Catalogue::children("3.0.0", "<serial>5.*</serial>"));
  flasher.load(catalogue.root);

  const std::pair<const char*, const char*> installedOffered[] = {
      {"1.9.5", "c-200"}, {"2.0.0-GOV", "c-200"}, {"2.0.0", nullptr}, {"2.5", nullptr}};
  for (const auto& [installed, offered] : installedOffered) {
    const std::shared_ptr<Firmware> found = update(reader(installed));
    EXPECT_EQ(found ? found->id : std::string("none"), offered ? offered : "none") << installed;
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(FirmwareCatalogueTest, TwoDescriptorsForTheSameVersionAreAmbiguous) {
  catalogue.add("first.xml", Catalogue::children("2.1.0"));
  catalogue.add("second.xml", Catalogue::children("2.1.0"));
  flasher.load(catalogue.root);
  EXPECT_FALSE(update(reader("2.0.0")));
  ASSERT_EQ(errors.size(), 1U);
  // Which of the two is met first follows the file system's order.
  EXPECT_TRUE(errors[0] ==
                  "Kelvo K2000000042: ambigous candidates for update to 2.1.0. Candidates are Kelvo "
                  "firmware (first) and Kelvo firmware (second)" ||
              errors[0] ==
                  "Kelvo K2000000042: ambigous candidates for update to 2.1.0. Candidates are Kelvo "
                  "firmware (second) and Kelvo firmware (first)")
      << errors[0];
}

// The same descriptor under both catalogue roots, and a "ble" image beside a "usb" one of the same version.
TEST_F(FirmwareCatalogueTest, TheSameDescriptorTwiceOrAnotherMethodIsNotAmbiguous) {
  Catalogue shipped(directory.file("shipped"));
  catalogue.add("k2-210.xml", Catalogue::children("2.1.0", "<method>ble</method>"));
  shipped.add("k2-210.xml", Catalogue::children("2.1.0", "<method>ble</method>"));
  shipped.add("k2-210-usb.xml", Catalogue::children("2.1.0", "<method>usb</method>"));
  flasher.load(catalogue.root);
  flasher.load(shipped.root);
  const std::shared_ptr<Firmware> found = update(reader("2.0.0"));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->id, "k2-210");
  EXPECT_EQ(found, flasher.firmwares().at(0)) << "the first one found wins";
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(std::count(debug.begin(), debug.end(), "A better match 'Kelvo firmware' was already found"), 2);
}

TEST_F(FirmwareCatalogueTest, ALinkedFolderIsNotFollowed) {
  catalogue.add("sub/k2.xml", Catalogue::children("2.1.0"));
  fs::create_directory_symlink(catalogue.root, catalogue.root + "/sub/loop");
  flasher.load(catalogue.root);
  EXPECT_EQ(flasher.firmwares().size(), 1U);
}

}  // namespace
