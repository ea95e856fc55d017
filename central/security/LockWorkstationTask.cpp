// SPDX-License-Identifier: Apache-2.0
#include "security/LockWorkstationTask.h"

#include <PCSC/pcsclite.h>

#include <algorithm>
#include <cstring>

#include "ApplicationSettings.h"
#include "security/LogonReader.h"
#include "security/WorkstationLocker.h"

namespace {

// pcsc-lite's pseudo-reader whose state changes when readers come or go.
const char kNotificationReader[] = "\\\\?PnP?\\Notification";
constexpr int kCancelRetryMs = 50;

}  // namespace

LockWorkstationTask::LockWorkstationTask(int startGraceMs, QObject* parent)
    : QObject(parent), startGrace(startGraceMs), startTime(std::chrono::steady_clock::now()) {
  connect(this, &LockWorkstationTask::startLoop, this, &LockWorkstationTask::runLoop);
}

void LockWorkstationTask::runLoop() {
  tokenLabel = LogonReader::tokenLabel();
  if (tokenLabel.isEmpty()) {
    emit debugMessageLogged(QStringLiteral("This session was not opened with a smart card: no lock on card removal"));
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    if (stopped) return;
    running = true;
  }
  startTime = std::chrono::steady_clock::now();
  while (!isStopped()) {
    runPass();
    pause();
  }
  std::lock_guard<std::mutex> guard(lock);
  running = false;
  wake.notify_all();
}

void LockWorkstationTask::stop() {
  std::lock_guard<std::mutex> guard(lock);
  stopped = true;
  if (contextLive) SCardCancel(liveContext);
  wake.notify_all();
}

bool LockWorkstationTask::waitUntilEnded(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> guard(lock);
  while (running) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // A wait that started between stop() and now did not see the cancel.
    if (contextLive) SCardCancel(liveContext);
    wake.wait_for(guard, std::chrono::milliseconds(kCancelRetryMs));
  }
  return true;
}

bool LockWorkstationTask::isStopped() {
  std::lock_guard<std::mutex> guard(lock);
  return stopped;
}

void LockWorkstationTask::pause() {
  std::unique_lock<std::mutex> guard(lock);
  wake.wait_for(guard, std::chrono::milliseconds(kPassPauseMs), [this] { return stopped; });
}

// ---------------------------------------------------------------------------------------------------------------
// One pass: a context for as long as pcscd serves it

void LockWorkstationTask::runPass() {
  SCARDCONTEXT context = 0;
  if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS) return;
  if (publishContext(context)) {
    watchReaders(context);
    withdrawContext();
  }
  SCardReleaseContext(context);
}

bool LockWorkstationTask::publishContext(SCARDCONTEXT context) {
  std::lock_guard<std::mutex> guard(lock);
  if (stopped) return false;
  liveContext = context;
  contextLive = true;
  return true;
}

void LockWorkstationTask::withdrawContext() {
  std::lock_guard<std::mutex> guard(lock);
  contextLive = false;
}

bool LockWorkstationTask::watchReaders(SCARDCONTEXT context) {
  absenceEvaluated = false;
  notificationState = SCARD_STATE_UNAWARE;
  for (Entry& entry : entries) entry.currentState = SCARD_STATE_UNAWARE;
  while (!isStopped()) {
    QStringList readers;
    if (!listReaders(context, readers)) return false;
    noteLogonReaderPresence(readers);
    addNewReaders(readers);
    forgetRemovedReaders(readers);
    if (!absenceEvaluated && graceOver() && entries.empty()) applyAbsenceRule(readers);

    std::vector<SCARD_READERSTATE> states(entries.size() + 1);
    states[0].szReader = kNotificationReader;
    states[0].dwCurrentState = notificationState;
    for (size_t index = 0; index < entries.size(); ++index) {
      states[index + 1].szReader = entries[index].reader.constData();
      states[index + 1].dwCurrentState = entries[index].currentState;
    }
    const LONG result = SCardGetStatusChange(context, waitTimeout(), states.data(), states.size());
    if (result != SCARD_S_SUCCESS && result != SCARD_E_TIMEOUT) {
      if (!endsPassSilently(result)) {
        emit errorOccurred(QStringLiteral("Failed to get reader status change for lock workstation task with error %1")
                               .arg(errorNumber(result)));
      }
      return false;
    }
    if (!absenceEvaluated && graceOver()) applyAbsenceRule(readers);
    if (result == SCARD_S_SUCCESS) followCardChanges(states);
  }
  return true;
}

bool LockWorkstationTask::listReaders(SCARDCONTEXT context, QStringList& readers) {
  DWORD size = 0;
  LONG result = SCardListReaders(context, nullptr, nullptr, &size);
  std::vector<char> names;
  if (result == SCARD_S_SUCCESS) {
    names.resize(size);
    result = SCardListReaders(context, nullptr, names.data(), &size);
  }
  if (result == SCARD_E_NO_READERS_AVAILABLE) return true;
  if (result != SCARD_S_SUCCESS) {
    if (!endsPassSilently(result)) {
      emit errorOccurred(
          QStringLiteral("Failed to list readers for lock workstation task with error %1").arg(errorNumber(result)));
    }
    return false;
  }
  // A multi-string: names ended by NUL, the list by an empty name.
  for (size_t offset = 0; offset < names.size() && names[offset] != '\0';) {
    const size_t length = ::strnlen(names.data() + offset, names.size() - offset);
    readers.append(QString::fromUtf8(names.data() + offset, static_cast<int>(length)));
    offset += length + 1;
  }
  return true;
}

// pcscd numbers its readers in the order they came; after a restart a reader may come back under another number.
// That reader is the same one, with the card it had, not one removed and one added.
void LockWorkstationTask::addNewReaders(const QStringList& readers) {
  for (const QString& reader : readers) {
    const QByteArray name = reader.toUtf8();
    const auto known = [&name](const Entry& entry) { return entry.reader == name; };
    if (std::any_of(entries.begin(), entries.end(), known)) continue;
    const auto renamed = [&reader, &readers](const Entry& entry) {
      const QString old = QString::fromUtf8(entry.reader);
      return !readers.contains(old) && LogonReader::baseName(old) == LogonReader::baseName(reader);
    };
    const auto previous = std::find_if(entries.begin(), entries.end(), renamed);
    if (previous != entries.end()) {
      previous->reader = name;
      previous->currentState = SCARD_STATE_UNAWARE;
    } else {
      entries.push_back(Entry{name});
    }
  }
}

void LockWorkstationTask::forgetRemovedReaders(const QStringList& readers) {
  for (auto entry = entries.begin(); entry != entries.end();) {
    const QString reader = QString::fromUtf8(entry->reader);
    if (readers.contains(reader)) {
      ++entry;
      continue;
    }
    entry = entries.erase(entry);
    if (LogonReader::sameReader(LogonReader::remembered(tokenLabel), reader)) logonReaderMissed = true;
    decide(QStringLiteral("removal"), reader);
  }
}

// The logon reader's absence is acted on once per time it goes: a pcscd restart while it is away starts a new pass,
// which must not lock the session again.
void LockWorkstationTask::noteLogonReaderPresence(const QStringList& readers) {
  const QString logon = LogonReader::remembered(tokenLabel);
  if (logon.isEmpty()) return;
  for (const QString& reader : readers) {
    if (LogonReader::sameReader(reader, logon)) {
      logonReaderMissed = false;
      return;
    }
  }
}

void LockWorkstationTask::applyAbsenceRule(const QStringList& readers) {
  absenceEvaluated = true;
  if (!ApplicationSettings::lockingWorkstation()) return;
  const QString logon = LogonReader::remembered(tokenLabel);
  if (logon.isEmpty()) return;
  for (const QString& reader : readers) {
    if (LogonReader::sameReader(reader, logon)) return;
  }
  if (logonReaderMissed) return;
  logonReaderMissed = true;
  lockFor(QStringLiteral("absence"), logon);
}

void LockWorkstationTask::followCardChanges(std::vector<SCARD_READERSTATE>& states) {
  notificationState = states[0].dwEventState & ~static_cast<DWORD>(SCARD_STATE_CHANGED);
  for (size_t index = 0; index < entries.size(); ++index) {
    const DWORD event = states[index + 1].dwEventState;
    Entry& entry = entries[index];
    if ((event & SCARD_STATE_CHANGED) != 0 && (event & SCARD_STATE_MUTE) == 0) {
      const bool present = (event & SCARD_STATE_PRESENT) != 0;
      if (present && !entry.cardPresent) {
        entry.cardPresent = true;
        cardArrived(QString::fromUtf8(entry.reader));
      } else if (!present && entry.cardPresent) {
        entry.cardPresent = false;
        decide(QStringLiteral("card removal"), QString::fromUtf8(entry.reader));
      }
    }
    entry.currentState = event & ~static_cast<DWORD>(SCARD_STATE_CHANGED);
  }
}

// A card that arrives may be the logon token: the reader that holds it becomes the logon reader.
void LockWorkstationTask::cardArrived(const QString& reader) {
  if (LogonReader::sameReader(LogonReader::remembered(tokenLabel), reader)) return;
  if (!LogonReader::holdsToken(ApplicationSettings::pkcs11Module(), reader, tokenLabel)) return;
  LogonReader::remember(tokenLabel, LogonReader::baseName(reader));
  emit debugMessageLogged(QStringLiteral("The smart-card logon token is in reader %1").arg(reader));
}

void LockWorkstationTask::decide(const QString& reason, const QString& reader) {
  if (!ApplicationSettings::lockingWorkstation()) return;
  if (!LogonReader::sameReader(LogonReader::remembered(tokenLabel), reader)) return;
  lockFor(reason, reader);
}

void LockWorkstationTask::lockFor(const QString& reason, const QString& reader) {
  QString failure;
  switch (WorkstationLocker::lock(failure)) {
    case WorkstationLocker::Result::kLocked:
      emit debugMessageLogged(QStringLiteral("Locking the workstation due to ") + reason +
                              QStringLiteral(" of reader ") + reader);
      break;
    case WorkstationLocker::Result::kFailed:
      emit errorOccurred(QStringLiteral("Failed to lock the workstation with error %1").arg(failure));
      break;
    case WorkstationLocker::Result::kNotRepeated:
      break;
  }
}

// Until the start-up grace is over the wait ends in time to apply the absence rule; after it, only changes end it.
DWORD LockWorkstationTask::waitTimeout() const {
  if (absenceEvaluated || graceOver()) return INFINITE;
  const auto left =
      startGrace - std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - startTime);
  return static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(left.count(), 1));
}

bool LockWorkstationTask::graceOver() const { return std::chrono::steady_clock::now() - startTime >= startGrace; }

bool LockWorkstationTask::endsPassSilently(LONG result) {
  return result == static_cast<LONG>(SCARD_E_NO_SERVICE) || result == static_cast<LONG>(SCARD_E_SERVICE_STOPPED) ||
         result == static_cast<LONG>(SCARD_E_SYSTEM_CANCELLED) || result == static_cast<LONG>(SCARD_E_CANCELLED) ||
         result == static_cast<LONG>(SCARD_F_COMM_ERROR);
}

QString LockWorkstationTask::errorNumber(LONG result) {
  return QStringLiteral("%1").arg(static_cast<quint32>(result), 8, 16, QLatin1Char('0'));
}
