// SPDX-License-Identifier: Apache-2.0
// The About window: the program's version, the libraries it ships with as they run here, and their licence texts
// from the copyright files the build took from the system.
#include <gtest/gtest.h>
#include <libusb-1.0/libusb.h>
#include <openssl/crypto.h>
#include <zip.h>

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTranslator>

#include "views/AboutView.h"
#include "views/ThirdPartyLibraries.h"

namespace {

QStringList column(QTableWidget* table, int index) {
  QStringList values;
  for (int row = 0; row < table->rowCount(); ++row) values << table->item(row, index)->text();
  return values;
}

TEST(AboutView, TheTabsAndTheTableKeepTheirNamesAndTheAboutTabNamesTheVersion) {
  QCoreApplication::setApplicationVersion(QStringLiteral("1.2.3.1"));
  AboutView about;
  ASSERT_EQ(about.tabs()->count(), 2);
  EXPECT_EQ(about.tabs()->tabText(0), "About");
  EXPECT_EQ(about.tabs()->tabText(1), "3rd Party Libaries");
  QStringList headers;
  for (int index = 0; index < about.libraryTable()->columnCount(); ++index) {
    headers << about.libraryTable()->horizontalHeaderItem(index)->text();
  }
  EXPECT_EQ(headers, QStringList({"Name", "Version", "Licence", "Copyright"}));
  const QString text = about.findChild<QLabel*>("aboutText")->text();
  EXPECT_TRUE(text.contains("Kelvo Central") && text.contains("Version 1.2.3.1")) << text.toStdString();
}

TEST(AboutView, EachLibraryShowsTheVersionItRunsWithAndItsOwnNotice) {
  AboutView about;
  QTableWidget* table = about.libraryTable();
  EXPECT_EQ(column(table, 0),
            QStringList({"OpenSSL", "Qt", "Qt WebEngine", "libzip", "libusb", "sdbus-c++", "pcsc-lite", "RapidXML"}));
  const libusb_version* usb = libusb_get_version();
  EXPECT_EQ(table->item(0, 1)->text(), QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION_STRING)));
  EXPECT_EQ(table->item(1, 1)->text(), QString::fromLatin1(qVersion()));
  EXPECT_EQ(table->item(3, 1)->text(), QString::fromLatin1(zip_libzip_version()));
  EXPECT_EQ(table->item(4, 1)->text(), QStringLiteral("%1.%2.%3").arg(usb->major).arg(usb->minor).arg(usb->micro));
  for (int row = 0; row < table->rowCount(); ++row) {
    const std::string name = table->item(row, 0)->text().toStdString();
    EXPECT_FALSE(table->item(row, 1)->text().isEmpty()) << name;
    EXPECT_FALSE(table->item(row, 2)->text().isEmpty()) << name;
    EXPECT_TRUE(table->item(row, 3)->text().startsWith("Copyright")) << name;
    EXPECT_FALSE(table->item(row, 0)->flags() & Qt::ItemIsEditable) << name;
  }
  EXPECT_TRUE(table->item(0, 3)->text().contains("OpenSSL")) << table->item(0, 3)->text().toStdString();
}

TEST(AboutView, ARowOpensItsLicenceOnceInAClosableTab) {
  AboutView about;
  const int libusb = column(about.libraryTable(), 0).indexOf("libusb");
  about.openLicence(libusb);
  ASSERT_EQ(about.tabs()->count(), 3);
  EXPECT_EQ(about.tabs()->tabText(2), "libusb");
  EXPECT_EQ(about.tabs()->currentIndex(), 2);
  auto* text = qobject_cast<QPlainTextEdit*>(about.tabs()->widget(2));
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->isReadOnly());
  EXPECT_TRUE(text->toPlainText().contains("libusb"));
  EXPECT_TRUE(text->toPlainText().contains("GNU Lesser General Public"));

  about.tabs()->setCurrentIndex(0);
  about.openLicence(libusb);  // shown again, not opened twice
  EXPECT_EQ(about.tabs()->count(), 3);
  EXPECT_EQ(about.tabs()->currentIndex(), 2);

  // Only the licence tabs close.
  EXPECT_EQ(about.tabs()->tabBar()->tabButton(0, QTabBar::RightSide), nullptr);
  EXPECT_EQ(about.tabs()->tabBar()->tabButton(1, QTabBar::RightSide), nullptr);
  EXPECT_NE(about.tabs()->tabBar()->tabButton(2, QTabBar::RightSide), nullptr);
  emit about.tabs()->tabCloseRequested(0);
  emit about.tabs()->tabCloseRequested(2);
  EXPECT_EQ(about.tabs()->count(), 2);
  EXPECT_EQ(about.tabs()->tabText(0), "About");

  // Activating a row through the table (Return on the selected row) does the same.
  about.libraryTable()->setCurrentCell(0, 0);
  emit about.libraryTable()->cellActivated(0, 0);
  EXPECT_EQ(about.tabs()->tabText(about.tabs()->currentIndex()), "OpenSSL");
}

TEST(AboutView, GermanTexts) {
  QTranslator translator;
  ASSERT_TRUE(translator.load("kelvocentral_de_DE", ":/i18n"));
  QCoreApplication::installTranslator(&translator);
  {
    AboutView about;
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8("Über"));
    EXPECT_EQ(about.tabs()->tabText(1), "Bibliotheken von Drittanbietern");
    EXPECT_EQ(about.libraryTable()->horizontalHeaderItem(2)->text(), "Lizenz");
    EXPECT_TRUE(about.findChild<QLabel*>("aboutText")->text().contains("Alle Rechte vorbehalten"));
  }
  QCoreApplication::removeTranslator(&translator);
}

TEST(ThirdPartyLibraries, TheNoticeIsTheFirstCopyrightOfTheFile) {
  struct Case {
    const char* text;
    const char* notice;
  };
  const Case cases[] = {
      // machine-readable copyright files: the first Copyright field
      {"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n\nFiles: *\n"
       "Copyright: 1995-2020, The OpenSSL Project Authors\nLicense: Apache-2.0\n",
       "Copyright 1995-2020, The OpenSSL Project Authors"},
      {"# Manual rules for copyrights\nFiles: *\nCopyright: Copyright (c) 1999-2003 David Corcoran\n"
       "           Copyright (c) 2001-2022 Ludovic Rousseau\n",
       "Copyright (c) 1999-2003 David Corcoran"},
      // free-form files: an empty "Copyright:" is followed by the notice
      {"It was downloaded from https://libzip.org/\n\nCopyright:\n\n    Copyright (C) 1999-2017 Dieter Baron\n",
       "Copyright (C) 1999-2017 Dieter Baron"},
      {"Upstream Authors:\n  Copyright (C) 2007-2009 Daniel Drake\n", "Copyright (C) 2007-2009 Daniel Drake"},
      {"No notice here.\n", ""},
      {"Copyright:\n", ""},
  };
  for (const Case& example : cases) {
    EXPECT_EQ(ThirdPartyLibraries::noticeFrom(QString::fromUtf8(example.text)), QString::fromUtf8(example.notice))
        << example.text;
  }
}

}  // namespace
