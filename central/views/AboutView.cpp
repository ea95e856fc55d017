// SPDX-License-Identifier: Apache-2.0
#include "views/AboutView.h"

#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "views/ThirdPartyLibraries.h"

namespace {

constexpr int kPermanentTabs = 2;  // "About" and the library table; licence tabs come and go

QTableWidgetItem* readOnlyItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  item->setToolTip(text);
  return item;
}

}  // namespace

AboutView::AboutView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("aboutView"));
  setWindowTitle(tr("About"));
  resize(640, 420);
  tabWidget = new QTabWidget;
  tabWidget->setObjectName(QStringLiteral("aboutTabs"));
  tabWidget->addTab(createAboutTab(), tr("About"));
  tabWidget->addTab(createLibrariesTab(), tr("3rd Party Libaries"));
  tabWidget->setTabsClosable(true);
  for (int index = 0; index < kPermanentTabs; ++index) {
    tabWidget->tabBar()->setTabButton(index, QTabBar::RightSide, nullptr);
    tabWidget->tabBar()->setTabButton(index, QTabBar::LeftSide, nullptr);
  }
  connect(tabWidget, &QTabWidget::tabCloseRequested, this, [this](int index) {
    if (index < kPermanentTabs) return;
    QWidget* page = tabWidget->widget(index);
    tabWidget->removeTab(index);
    delete page;
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabWidget);
}

QWidget* AboutView::createAboutTab() {
  auto* label = new QLabel;
  label->setObjectName(QStringLiteral("aboutText"));
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  label->setTextFormat(Qt::RichText);
  label->setText(QStringLiteral("<h2>%1</h2><p>%2</p><p>%3</p>")
                     .arg(QCoreApplication::applicationName().toHtmlEscaped(),
                          tr("Version %1").arg(QCoreApplication::applicationVersion()).toHtmlEscaped(),
                          tr("Copyright © 2026 Kelvo. All rights reserved.<br>Kelvo and Kelvo Central are trademarks "
                             "of Kelvo.<br>This program uses the libraries listed under \"3rd Party Libaries\" under "
                             "their own licences.")));
  return label;
}

QWidget* AboutView::createLibrariesTab() {
  const QList<ThirdPartyLibraries::Library> libraries = ThirdPartyLibraries::all();
  table = new QTableWidget(libraries.size(), 4);
  table->setObjectName(QStringLiteral("libraryTable"));
  table->setHorizontalHeaderLabels({tr("Name"), tr("Version"), tr("Licence"), tr("Copyright")});
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  for (int row = 0; row < libraries.size(); ++row) {
    const ThirdPartyLibraries::Library& library = libraries.at(row);
    table->setItem(row, 0, readOnlyItem(library.name));
    table->setItem(row, 1, readOnlyItem(library.version));
    table->setItem(row, 2, readOnlyItem(library.licence));
    table->setItem(row, 3, readOnlyItem(library.notice));
  }
  table->resizeColumnsToContents();
  connect(table, &QTableWidget::cellActivated, this, [this](int row, int) { openLicence(row); });
  return table;
}

// A licence already open is shown again rather than opened twice.
void AboutView::openLicence(int row) {
  const QTableWidgetItem* item = table->item(row, 0);
  if (item == nullptr) return;
  const QString name = item->text();
  const int open = tabNamed(name);
  if (open >= 0) {
    tabWidget->setCurrentIndex(open);
    return;
  }
  QFile file(ThirdPartyLibraries::licencePath(name));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return;
  auto* text = new QPlainTextEdit(QString::fromUtf8(file.readAll()));
  text->setObjectName(QStringLiteral("licenceText"));
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  tabWidget->setCurrentIndex(tabWidget->addTab(text, name));
}

int AboutView::tabNamed(const QString& name) const {
  for (int index = kPermanentTabs; index < tabWidget->count(); ++index) {
    if (tabWidget->tabText(index) == name) return index;
  }
  return -1;
}
