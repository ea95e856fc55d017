// SPDX-License-Identifier: Apache-2.0
#pragma once
// Answers the message boxes a widget opens while the catcher lives, recording their titles and texts, so that code
// which blocks on a modal box can run inside a test.

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

namespace kelvo::test {

class MessageBoxCatcher {
 public:
  MessageBoxCatcher() {
    QObject::connect(&poll, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      boxes << box->windowTitle() + QStringLiteral(": ") + box->text();
      box->accept();
    });
    poll.start(5);
  }

  const QStringList& seen() const { return boxes; }

 private:
  QTimer poll;
  QStringList boxes;
};

}  // namespace kelvo::test
