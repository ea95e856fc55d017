// SPDX-License-Identifier: Apache-2.0
#pragma once
// The dialog that follows a flashing run through its states: connect the reader by USB, writing with its progress,
// done, or the reason it cannot go on. It cannot be dismissed with Escape while a run may still write into the
// reader; "OK" closes it once the run has ended.

#include <QDialog>
#include <QString>

class KelvoDevice;
class KelvoDeviceManager;
class QLabel;
class QPushButton;
class QStackedWidget;

class UpdateFirmwareView : public QDialog {
  Q_OBJECT

 public:
  enum Page { kConnectPage, kUpdatePage, kFinishPage, kErrorPage };

  // overTheAir: the reader takes its firmware over the air, so no cable is asked for.
  UpdateFirmwareView(KelvoDeviceManager* manager, KelvoDevice* device, bool overTheAir, QWidget* parent = nullptr);

  int currentPage() const;

 public slots:
  void flashConnectStateTransited();
  void flashUpdateStateTransited(int percent);
  void flashFinishStateTransited();
  void flashErrorStateTransited(const QString& message);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* createPage(const QStringList& texts, QLabel** dynamicText = nullptr);
  void showPage(Page page, bool okVisible);

  QStackedWidget* pages = nullptr;
  QLabel* progressText = nullptr;
  QLabel* errorText = nullptr;
  QLabel* connectHint = nullptr;
  QPushButton* okButton = nullptr;
};
