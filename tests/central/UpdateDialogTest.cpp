// SPDX-License-Identifier: Apache-2.0
// The update offer as the user answers it: every way out of the dialog gives exactly one answer.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTranslator>

#include "firmware/UpdateDialog.h"

namespace {

struct Answers {
  explicit Answers(UpdateDialog& dialog)
      : install(&dialog, &UpdateDialog::installChosen),
        skip(&dialog, &UpdateDialog::skipChosen),
        cancel(&dialog, &UpdateDialog::cancelChosen) {}
  QString counts() const { return QStringLiteral("%1/%2/%3").arg(install.size()).arg(skip.size()).arg(cancel.size()); }
  QSignalSpy install;
  QSignalSpy skip;
  QSignalSpy cancel;
};

void offer(UpdateDialog& dialog) {
  dialog.offer(QStringLiteral("2.1"), QStringLiteral("2.0.0"), QStringLiteral("Kelvo K2000123"),
               QStringLiteral("Spring release"), QStringLiteral("<p>Faster <b>pairing</b></p>"),
               QUrl(QStringLiteral("https://updates.example/n.html")));
}

QPushButton* button(UpdateDialog& dialog, const char* name) {
  return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
}

TEST(UpdateDialogTest, EachWayOutGivesOneAnswer) {
  const struct {
    const char* name;
    std::function<void(UpdateDialog&)> act;
    const char* counts;  // install/skip/cancel
  } cases[] = {
      {"install", [](UpdateDialog& d) { button(d, "installButton")->click(); }, "1/0/0"},
      {"skip", [](UpdateDialog& d) { button(d, "skipButton")->click(); }, "0/1/0"},
      {"cancel", [](UpdateDialog& d) { button(d, "cancelButton")->click(); }, "0/0/1"},
      {"window closed", [](UpdateDialog& d) { d.reject(); }, "0/0/1"},
      {"install, then cancel the download",
       [](UpdateDialog& d) {
         button(d, "installButton")->click();
         button(d, "downloadCancelButton")->click();
       },
       "1/0/1"},
      {"install, the run ends, the window closes",
       [](UpdateDialog& d) {
         button(d, "installButton")->click();
         d.runFinished(1);
         d.reject();
       },
       "1/0/0"},
      {"skip, then the window closes",
       [](UpdateDialog& d) {
         button(d, "skipButton")->click();
         d.reject();
       },
       "0/1/0"},
  };
  for (const auto& test : cases) {
    UpdateDialog dialog;
    Answers answers(dialog);
    offer(dialog);
    EXPECT_TRUE(dialog.isVisible());
    test.act(dialog);
    EXPECT_EQ(answers.counts(), QString::fromLatin1(test.counts)) << test.name;
  }
}

TEST(UpdateDialogTest, TheOfferShowsTheReleaseAndTheDownloadItsProgress) {
  UpdateDialog dialog;
  offer(dialog);
  EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("updateHeading"))->text().contains(QStringLiteral("2.1")));
  EXPECT_EQ(dialog.findChild<QTextBrowser*>(QStringLiteral("releaseNotes"))->toPlainText(),
            QStringLiteral("Faster pairing"));
  button(dialog, "installButton")->click();
  auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("downloadProgress"));
  dialog.downloadProgress(4096, 8192);
  EXPECT_EQ(progress->value() * 2, progress->maximum());
  dialog.installing();
  EXPECT_FALSE(button(dialog, "downloadCancelButton")->isEnabled());
  dialog.runFinished(1);
  EXPECT_FALSE(dialog.isVisible());
  // A later offer starts on the offer again.
  offer(dialog);
  EXPECT_TRUE(button(dialog, "installButton")->isVisible());
}

TEST(UpdateDialogTest, GermanTextsCoverTheOfferAndTheDownload) {
  QTranslator translator;
  ASSERT_TRUE(translator.load("kelvocentral_de_DE", ":/i18n"));
  QCoreApplication::installTranslator(&translator);
  {
    UpdateDialog dialog;
    offer(dialog);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Firmware-Aktualisierung"));
    EXPECT_EQ(button(dialog, "installButton")->text(), QStringLiteral("Installieren"));
    EXPECT_EQ(button(dialog, "skipButton")->text(), QString::fromUtf8("Überspringen"));
    EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("updateHeading"))
                    ->text()
                    .startsWith(QString::fromUtf8("Firmware 2.1 ist für Kelvo K2000123 verfügbar. Installiert ist "
                                                  "die Firmware 2.0.0.")));
    button(dialog, "installButton")->click();
    dialog.installing();
    EXPECT_EQ(button(dialog, "downloadCancelButton")->text(), QStringLiteral("Abbrechen"));
  }
  QCoreApplication::removeTranslator(&translator);
}

}  // namespace
