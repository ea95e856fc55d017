// SPDX-License-Identifier: Apache-2.0
// The update feed's parts without a network: reading feeds, choosing the release, checking signatures and
// unpacking packages.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <zip.h>

#include <vector>

#include "firmware/Appcast.h"
#include "firmware/PackageSignature.h"
#include "firmware/PackageUnpacker.h"

namespace {

QByteArray feed(const QByteArray& items) {
  return "<?xml version=\"1.0\"?><rss version=\"2.0\" "
         "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><title>t</title>" +
         items + "</channel></rss>";
}

QByteArray item(const QByteArray& version, const QByteArray& enclosureExtra = QByteArray()) {
  return "<item><title>T" + version + "</title><sparkle:version>" + version +
         "</sparkle:version><enclosure url=\"pkg/" + version + ".zip\" length=\"10\" sparkle:edSignature=\"c2ln\" " +
         enclosureExtra + "/></item>";
}

const QUrl kFeedUrl(QStringLiteral("https://updates.example/kelvo/firmware/kelvo-firmware.xml"));

TEST(AppcastTest, TheNewestReleaseAboveTheInstalledVersionIsChosenByFirmwareVersionOrder) {
  const struct {
    const char* installed;
    QByteArray items;
    const char* chosen;  // nullptr: none
  } cases[] = {
      {"1.9", item("1.9") + item("1.10") + item("1.2"), "1.10"},
      {"2.0.0", item("2.0.0") + item("1.0.0"), nullptr},
      {"2.0.0-RC", item("2.0.0"), "2.0.0"},
      {"2.0.0", item("2.0.0-RC"), nullptr},
      {"1.0.0", item("3.0.0", "sparkle:os=\"windows\"") + item("2.0.0", "sparkle:os=\"linux\""), "2.0.0"},
      {"1.0.0",
       "<item><sparkle:version>9.0</sparkle:version><enclosure url=\"a.zip\" length=\"1\"/></item>" + item("2.0"),
       "2.0"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.installed + std::string(" / ") + test.items.toStdString());
    Appcast appcast;
    QString error;
    ASSERT_TRUE(appcast.parse(feed(test.items), kFeedUrl, &error)) << error.toStdString();
    const Appcast::Release* chosen = appcast.newestAbove(QString::fromLatin1(test.installed));
    if (test.chosen == nullptr) {
      EXPECT_EQ(chosen, nullptr);
    } else {
      ASSERT_NE(chosen, nullptr);
      EXPECT_EQ(chosen->version, QString::fromLatin1(test.chosen));
    }
  }
}

TEST(AppcastTest, AnItemIsReadInBothFeedStyles) {
  Appcast appcast;
  ASSERT_TRUE(
      appcast.parse(feed("<item><title>Spring</title><description><![CDATA[<p>Faster</p>]]></description>"
                         "<sparkle:releaseNotesLink>notes/2.html</sparkle:releaseNotesLink>"
                         "<enclosure url=\"https://cdn.example/k2.zip\" length=\"4096\" sparkle:version=\"2.1.0\" "
                         "sparkle:shortVersionString=\"2.1\" sparkle:edSignature=\" c2ln \"/></item>"),
                    kFeedUrl, nullptr));
  ASSERT_EQ(appcast.releases().size(), 1);
  const Appcast::Release& release = appcast.releases().first();
  EXPECT_EQ(release.version, QStringLiteral("2.1.0"));
  EXPECT_EQ(release.displayVersion(), QStringLiteral("2.1"));
  EXPECT_EQ(release.title, QStringLiteral("Spring"));
  EXPECT_EQ(release.releaseNotes, QStringLiteral("<p>Faster</p>"));
  EXPECT_EQ(release.releaseNotesLink.toString(), QStringLiteral("https://updates.example/kelvo/firmware/notes/2.html"));
  EXPECT_EQ(release.packageUrl.toString(), QStringLiteral("https://cdn.example/k2.zip"));
  EXPECT_EQ(release.packageLength, 4096);
  EXPECT_EQ(release.edSignature, QStringLiteral("c2ln"));
}

TEST(AppcastTest, DocumentsThatAreNotFeedsAreRefused) {
  for (const QByteArray& document : {QByteArray("<rss><channel><item>"), QByteArray("<html><body/></html>"),
                                     QByteArray("not xml at all"), QByteArray()}) {
    Appcast appcast;
    QString error;
    EXPECT_FALSE(appcast.parse(document, kFeedUrl, &error)) << document.toStdString();
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(appcast.releases().isEmpty());
  }
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString testKeyPath(const char* name) { return QStringLiteral(KELVO_TEST_RELEASE_KEY_DIR "/") + QLatin1String(name); }

// A signature made by the release tool's key, checked with its public half; any change to either side fails.
TEST(PackageSignatureTest, OnlyTheExactPackageUnderTheExactKeyVerifies) {
  const QByteArray key = readFile(testKeyPath("test-release-key.pub")).trimmed();
  const QByteArray package = readFile(QStringLiteral(KELVO_SIGNED_SAMPLE));
  const QString signature = QString::fromLatin1(readFile(QStringLiteral(KELVO_SIGNED_SAMPLE ".sig")).trimmed());
  ASSERT_FALSE(package.isEmpty());
  EXPECT_TRUE(PackageSignature::verify(package, signature, key));

  QByteArray changed = package;
  changed[0] = static_cast<char>(changed[0] ^ 1);
  QByteArray otherKey = QByteArray::fromBase64(key);
  otherKey[5] = static_cast<char>(otherKey[5] ^ 1);
  const struct {
    const char* name;
    QByteArray package;
    QString signature;
    QByteArray key;
  } refused[] = {
      {"changed package", changed, signature, key},
      {"truncated package", package.left(package.size() - 1), signature, key},
      {"other key", package, signature, otherKey.toBase64()},
      {"signature cut short", package, signature.left(40), key},
      {"signature with stray characters", package, signature + QStringLiteral("!!"), key},
      {"no signature", package, QString(), key},
      {"key of the wrong length", package, signature, QByteArray("c2hvcnQ=")},
  };
  for (const auto& test : refused) {
    EXPECT_FALSE(PackageSignature::verify(test.package, test.signature, test.key)) << test.name;
  }
}

TEST(PackageUnpackerTest, EntryNamesThatLeaveTheFolderAreRefused) {
  const struct {
    const char* name;
    bool safe;
  } cases[] = {
      {"k2/image.bin", true}, {"k2/", true},          {"image.bin", true}, {"../image.bin", false},
      {"k2/../../x", false},  {"/etc/passwd", false}, {"k2//x", false},    {"./x", false},
      {"k2\\..\\x", false},   {"C:x", false},         {"", false},         {"k2/..", false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(PackageUnpacker::isSafeEntryName(QString::fromLatin1(test.name)), test.safe) << test.name;
  }
}

struct Entry {
  const char* name;
  QByteArray data;
  mode_t mode;
};

QByteArray zipOf(const QTemporaryDir& folder, const std::vector<Entry>& entries) {
  const QString path = folder.filePath(QStringLiteral("made.zip"));
  QFile::remove(path);
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return QByteArray();
  for (const Entry& entry : entries) {
    zip_source_t* source =
        zip_source_buffer(archive, entry.data.constData(), static_cast<zip_uint64_t>(entry.data.size()), 0);
    const zip_int64_t index = zip_file_add(archive, entry.name, source, ZIP_FL_ENC_UTF_8);
    zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                     static_cast<zip_uint32_t>(entry.mode) << 16);
  }
  if (zip_close(archive) != 0) return QByteArray();
  return readFile(path);
}

TEST(PackageUnpackerTest, APackageIsUnpackedWholeOrNotAtAll) {
  QTemporaryDir folder;
  const QString destination = folder.filePath(QStringLiteral("cache/Firmware"));
  const QByteArray image(70000, 'x');
  const std::vector<Entry> good = {{"k2/k2.xml", "<firmware/>", S_IFREG | 0644}, {"k2/k2.bin", image, S_IFREG | 0644}};
  QString error;
  ASSERT_TRUE(PackageUnpacker::unpack(zipOf(folder, good), destination, &error)) << error.toStdString();
  EXPECT_EQ(readFile(destination + QStringLiteral("/k2/k2.bin")), image);

  const struct {
    const char* name;
    QByteArray package;
    qint64 limit;
  } refused[] = {
      {"a symbolic link", zipOf(folder, {good[0], {"k2/link", "/etc", S_IFLNK | 0777}}),
       PackageUnpacker::kMaxUnpackedBytes},
      {"a device node", zipOf(folder, {good[0], {"k2/node", "", S_IFCHR | 0644}}), PackageUnpacker::kMaxUnpackedBytes},
      {"more than the size limit", zipOf(folder, good), 70000},
      {"not an archive", QByteArray("PK\x03\x04 broken"), PackageUnpacker::kMaxUnpackedBytes},
  };
  for (const auto& test : refused) {
    SCOPED_TRACE(test.name);
    ASSERT_FALSE(test.package.isEmpty());
    EXPECT_FALSE(PackageUnpacker::unpack(test.package, destination, &error, test.limit));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(destination));
    EXPECT_EQ(QDir(folder.filePath(QStringLiteral("cache")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
  }
}

}  // namespace
