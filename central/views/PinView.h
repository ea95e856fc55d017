// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the PIN-change and PIN-unblock windows share: a first secret (the current PIN or the PUK), the new PIN and
// its confirmation, one label for progress and one for errors, and one button. The request goes to the device
// manager; its answer comes back as one of its outcome signals.
//
// Both windows listen to the same outcome signals, so a window acts on an outcome only while its own request is
// out. A first secret the card rejected is remembered for as long as the window exists: entering it again shows
// the rejection at once instead of spending another of the card's tries.

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

class PinView : public QWidget {
  Q_OBJECT

 public:
  struct Texts {
    QString title;
    QString firstCaption;
    QString button;
    QString enterFirst;
    QString working;
    QString succeeded;
    QString rejected;
    QString failed;
  };

  // The reader whose card the window works on, by its display name; a new reader clears the window.
  void setDeviceName(const QString& name);
  QString deviceName() const { return device; }
  bool isBusy() const { return busy; }

 public slots:
  void pinSetSuccess();
  void pinSetIncorrect();
  void pinSetFailed();

 protected:
  PinView(Texts texts, const QString& buttonName, QWidget* parent);
  ~PinView() override;

  // Validates the input and sends the request; the button's handler.
  void submit();
  virtual void sendRequest(const QString& firstSecret, const QString& newPin) = 0;
  // Ends the request in progress with an error, if one is out; false when this window sent none.
  bool finishWithError(const QString& error);

 private:
  void buildForm(const QString& buttonName);
  void showStatus(const QString& text);
  void showError(const QString& text);
  void clearSecrets();
  void rejectFirstSecret();
  void finish();

  Texts texts;
  QString device;
  QString rejectedFirstSecret;
  QString sentFirstSecret;
  bool busy = false;

  QLabel* deviceLabel = nullptr;
  QLineEdit* firstEdit = nullptr;
  QLineEdit* newEdit = nullptr;
  QLineEdit* confirmEdit = nullptr;
  QLabel* statusLabel = nullptr;
  QLabel* errorLabel = nullptr;
  QPushButton* button = nullptr;
};
