// SPDX-License-Identifier: Apache-2.0
#pragma once
// The update server's feed of firmware packages: an RSS channel whose items each describe one release (the Sparkle
// appcast format). Only what the updater needs is read; anything else in the feed is ignored.

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVector>

class Appcast {
 public:
  struct Release {
    QString version;             // sparkle:version, compared as a firmware version
    QString shortVersionString;  // sparkle:shortVersionString, shown to the user; empty when absent
    QString title;
    QString releaseNotes;      // the item's description (HTML or plain text)
    QUrl releaseNotesLink;     // sparkle:releaseNotesLink
    QUrl packageUrl;           // enclosure url, resolved against the feed's address
    qint64 packageLength = 0;  // enclosure length in bytes
    QString edSignature;       // sparkle:edSignature, Base64 of the package's Ed25519 signature

    QString displayVersion() const { return shortVersionString.isEmpty() ? version : shortVersionString; }
  };

  // Reads a feed fetched from feedUrl. Items without a version, an enclosure URL or a signature, and enclosures
  // meant for another operating system, are left out. False with a reason for a document that is not a feed.
  bool parse(const QByteArray& document, const QUrl& feedUrl, QString* error);

  const QVector<Release>& releases() const { return items; }

  // The release with the highest version above the installed one, or nullptr.
  const Release* newestAbove(const QString& installedVersion) const;

 private:
  QVector<Release> items;
};
