// SPDX-License-Identifier: Apache-2.0
#pragma once
// Watches every smart-card reader of the system through pcsc-lite and locks the session when the card leaves the
// reader the session was logged on with, when that reader goes away, or when it is not there at all. Runs only in
// a session opened with a smart card (PKCS11_LOGIN_TOKEN_NAME) and only while the lockingWorkstation setting is on.
//
// The main window moves the task to a thread of its own and emits startLoop(); runLoop() then blocks that thread
// in pcsc-lite's wait for changes until stop() (any thread) cancels the wait.
//
// One pass of the loop lasts as long as pcscd serves it; when pcscd stops or restarts (it restarts whenever the
// reader driver's reader list changes) the next pass starts kPassPauseMs later with a new context. What the task
// knows of the readers outlives a pass, so a reader that is gone after the restart counts as removed.
//
// pcscd itself going away mid-call (SCARD_F_COMM_ERROR: it restarts for every change of the driver's reader list)
// ends a pass as quietly as pcscd stopping.
//
// The absence rule (the logon reader is not among the readers) is applied once per pass, and not before
// `startGraceMs` after the task started: the reader driver needs some seconds to bring its readers up, and an
// application started with the session must not lock it before that.

#include <PCSC/winscard.h>

#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

class LockWorkstationTask : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPassPauseMs = 500;
  static constexpr int kDefaultStartGraceMs = 15000;

  explicit LockWorkstationTask(int startGraceMs = kDefaultStartGraceMs, QObject* parent = nullptr);

  // Makes runLoop() return: cancels the pcsc-lite wait in progress and ends the pause between passes.
  void stop();
  // After stop(): waits up to `timeoutMs` for runLoop() to return, cancelling again a wait that began just after
  // stop(); false when it did not return in time.
  bool waitUntilEnded(int timeoutMs);

 signals:
  void startLoop();
  void errorOccurred(QString error);
  void debugMessageLogged(QString message);

 public slots:
  void runLoop();

 private:
  struct Entry {
    QByteArray reader;
    DWORD currentState = SCARD_STATE_UNAWARE;
    bool cardPresent = false;
  };

  void runPass();
  bool watchReaders(SCARDCONTEXT context);
  bool listReaders(SCARDCONTEXT context, QStringList& readers);
  void addNewReaders(const QStringList& readers);
  void forgetRemovedReaders(const QStringList& readers);
  void noteLogonReaderPresence(const QStringList& readers);
  void applyAbsenceRule(const QStringList& readers);
  void followCardChanges(std::vector<SCARD_READERSTATE>& states);
  void cardArrived(const QString& reader);
  void decide(const QString& reason, const QString& reader);
  void lockFor(const QString& reason, const QString& reader);
  DWORD waitTimeout() const;
  bool graceOver() const;
  bool isStopped();
  void pause();
  bool publishContext(SCARDCONTEXT context);
  void withdrawContext();
  static bool endsPassSilently(LONG result);
  static QString errorNumber(LONG result);

  const std::chrono::milliseconds startGrace;
  std::chrono::steady_clock::time_point startTime;
  QString tokenLabel;
  std::vector<Entry> entries;
  DWORD notificationState = SCARD_STATE_UNAWARE;
  bool absenceEvaluated = false;
  // The logon reader went (or was missing at the start) and that has been acted on; cleared when it is back.
  bool logonReaderMissed = false;

  std::mutex lock;
  std::condition_variable wake;
  bool stopped = false;
  bool running = false;
  bool contextLive = false;
  SCARDCONTEXT liveContext = 0;
};
