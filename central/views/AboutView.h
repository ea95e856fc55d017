// SPDX-License-Identifier: Apache-2.0
#pragma once
// The About window: the program's name, version and legal notice, and the libraries it ships with. Activating a
// library's row opens its licence text in a tab of its own.

#include <QWidget>

class QPlainTextEdit;
class QTableWidget;
class QTabWidget;

class AboutView : public QWidget {
  Q_OBJECT

 public:
  explicit AboutView(QWidget* parent = nullptr);

  QTabWidget* tabs() const { return tabWidget; }
  QTableWidget* libraryTable() const { return table; }

 public slots:
  void openLicence(int row);

 private:
  QWidget* createAboutTab();
  QWidget* createLibrariesTab();
  int tabNamed(const QString& name) const;

  QTabWidget* tabWidget = nullptr;
  QTableWidget* table = nullptr;
};
