// SPDX-License-Identifier: Apache-2.0
// Locking the session when the logon card leaves: the lock task against a private pcscd, kelvo-driver and OpenSC
// with the emulated readers of tests/central/scenarios/lock-readers.json (run inside scripts/with-pcscd), and the
// device's own check, both locking through python3-dbusmock's logind on a private system bus.
#include <PCSC/winscard.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "ApplicationSettings.h"
#include "TempDirectory.h"
#include "devices/KelvoDevice.h"
#include "security/LockWorkstationTask.h"
#include "security/LogonReader.h"
#include "security/WorkstationLocker.h"

namespace {

const char kLabel[] = "Erika Mustermann";
const char kLogonAddress[] = "001a7dda7113";
const char kOtherAddress[] = "001a7dda8224";
const QString kLogonReader = QStringLiteral("Kelvo 001a7dda7113 00 00");
const QString kLogonReaderBase = QStringLiteral("Kelvo 001a7dda7113");

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(20);
  }
  return true;
}

// Lets time pass while the other threads' queued signals arrive.
void spin(int milliseconds) {
  waitFor([] { return false; }, milliseconds);
}

// A private system bus with logind played by python3-dbusmock, which logs every call it gets.
class LogindMock : public ::testing::Environment {
 public:
  void SetUp() override {
    bus.setProgram(QStringLiteral("dbus-daemon"));
    bus.setArguments({"--session", "--nofork", "--nopidfile", "--print-address=1"});
    bus.start();
    ASSERT_TRUE(bus.waitForReadyRead(10000)) << "dbus-daemon did not start";
    const QByteArray address = bus.readLine().trimmed();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.constData(), 1);
    mock.setProgram(QStringLiteral("/usr/bin/python3"));
    mock.setArguments({"-m", "dbusmock", "--system", "--template", "logind", "-l", callLog()});
    mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mock.start();
    ASSERT_TRUE(waitFor(
        [] { return QDBusConnection::systemBus().interface()->isServiceRegistered("org.freedesktop.login1").value(); },
        15000))
        << "dbusmock's logind did not come up";
    QDBusInterface control("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.DBus.Mock",
                           QDBusConnection::systemBus());
    const QDBusReply<QString> session =
        control.call("AddSession", "c1", "seat0", static_cast<uint>(::getuid()), "tester", true);
    ASSERT_TRUE(session.isValid()) << session.error().message().toStdString();
    // The template's GetUser builds its path from a number as if it were text, and fails.
    const QDBusReply<void> fixed = control.call("AddMethod", "org.freedesktop.login1.Manager", "GetUser", "u", "o",
                                                "ret = dbus.ObjectPath('/org/freedesktop/login1/user/%d' % args[0])");
    ASSERT_TRUE(fixed.isValid()) << fixed.error().message().toStdString();
    ::setenv("XDG_SESSION_ID", "c1", 1);
  }
  void TearDown() override {
    mock.kill();
    mock.waitForFinished();
    bus.kill();
    bus.waitForFinished();
  }

  static QString callLog() { return QString::fromStdString(directory().file("logind-calls")); }
  static int lockSessionCalls() {
    QFile log(callLog());
    if (!log.open(QIODevice::ReadOnly)) return 0;
    return QString::fromUtf8(log.readAll()).count(QStringLiteral("LockSession \"c1\""));
  }
  // Makes logind take `milliseconds` to answer LockSession (0: at once again), so two requests overlap.
  static bool delayLockSession(int milliseconds) {
    QDBusInterface control("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.DBus.Mock",
                           QDBusConnection::systemBus());
    const QString code = milliseconds > 0 ? QStringLiteral("time.sleep(%1)").arg(milliseconds / 1000.0) : QString();
    return control.call("AddMethod", "org.freedesktop.login1.Manager", "LockSession", "s", "", code).type() !=
           QDBusMessage::ErrorMessage;
  }
  // Makes the session the user's display session, as logind reports it for a user's graphical login.
  static bool setDisplaySession(const QString& id) {
    const QString script =
        QStringLiteral(
            "import dbus, os; bus = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS']); "
            "user = bus.get_object('org.freedesktop.login1', '/org/freedesktop/login1/user/%1'); "
            "session = '%2'; path = '/org/freedesktop/login1/session/' + session if session else '/'; "
            "display = dbus.Struct((session, dbus.ObjectPath(path)), signature='so', variant_level=1); "
            "user.Set('org.freedesktop.login1.User', 'Display', display, "
            "dbus_interface='org.freedesktop.DBus.Properties')")
            .arg(::getuid())
            .arg(id);
    return QProcess::execute(QStringLiteral("/usr/bin/python3"), {"-c", script}) == 0;
  }

 private:
  static kelvo::test::TempDirectory& directory() {
    static kelvo::test::TempDirectory folder;
    return folder;
  }
  QProcess bus;
  QProcess mock;
};

::testing::Environment* const logind = ::testing::AddGlobalTestEnvironment(new LogindMock);

// The emulated readers' control commands, through the driver's control FIFO.
bool control(const QString& command, const QString& argument) {
  const QString fifo = qEnvironmentVariable("KELVO_SIM_CONTROL");
  if (fifo.isEmpty()) return false;
  return QProcess::execute(QStringLiteral(KELVO_SOURCE_DIR "/scripts/demo-control"), {fifo, command, argument}) == 0;
}

QStringList pcscReaders() {
  QStringList readers;
  SCARDCONTEXT context = 0;
  if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS) return readers;
  DWORD size = 0;
  if (SCardListReaders(context, nullptr, nullptr, &size) == SCARD_S_SUCCESS) {
    std::string names(size, '\0');
    if (SCardListReaders(context, nullptr, names.data(), &size) == SCARD_S_SUCCESS) {
      for (const QString& name : QString::fromUtf8(names.c_str(), static_cast<int>(names.size())).split(QChar('\0'))) {
        if (!name.isEmpty()) readers.append(name);
      }
    }
  }
  SCardReleaseContext(context);
  return readers;
}

bool pcscdLists(const QString& base) {
  for (const QString& reader : pcscReaders()) {
    if (reader.startsWith(base + " ")) return true;
  }
  return false;
}

QString logonReaderJson() {
  return QStringLiteral(
             "{ \"family\": \"kelvo\", \"address\": \"%1\", \"generation\": 2, \"card\": { \"atr\": "
             "\"3B8180018080\", \"piv\": { \"holder\": \"%2\", \"pin\": \"123456\", \"puk\": \"12345678\", "
             "\"pin-tries\": 3 } } }")
      .arg(QLatin1String(kLogonAddress), QLatin1String(kLabel));
}

// One lock task in a thread of its own, as the main window runs it, with what it logs.
class RunningTask {
 public:
  explicit RunningTask(int startGraceMs) : task(new LockWorkstationTask(startGraceMs)) {
    task->moveToThread(&thread);
    QObject::connect(task, &LockWorkstationTask::debugMessageLogged, &receiver,
                     [this](const QString& message) { messages.append(message); });
    QObject::connect(task, &LockWorkstationTask::errorOccurred, &receiver,
                     [this](const QString& error) { messages.append("error: " + error); });
    thread.start();
    emit task->startLoop();
  }
  ~RunningTask() {
    task->stop();
    EXPECT_TRUE(task->waitUntilEnded(5000)) << "the lock task did not end";
    thread.quit();
    thread.wait();
    delete task;
  }
  RunningTask(const RunningTask&) = delete;
  RunningTask& operator=(const RunningTask&) = delete;

  bool logs(const QString& text, int timeoutMs) {
    return waitFor([this, &text] { return !messages.filter(text).isEmpty(); }, timeoutMs);
  }
  QString log() const { return messages.join('\n'); }

  QStringList messages;

 private:
  QObject receiver;
  QThread thread;
  LockWorkstationTask* task;
};

class LockWorkstationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("PKCS11_LOGIN_TOKEN_NAME", kLabel, 1);
    ApplicationSettings::setLockingWorkstation(true);
    ApplicationSettings::setLogonReader(kLabel, QString());
    WorkstationLocker::forgetLastLock();
    ASSERT_TRUE(waitFor([] { return pcscdLists(kLogonReaderBase); }, 15000)) << "the logon reader is not in pcscd";
    before = LogindMock::lockSessionCalls();
  }
  void TearDown() override {
    control("insert", kLogonAddress);
    control("insert", kOtherAddress);
  }

  int locks() const { return LogindMock::lockSessionCalls() - before; }

  // A task that has seen the logon token in its reader.
  std::unique_ptr<RunningTask> startTaskWithLogonReader() {
    auto task = std::make_unique<RunningTask>(0);
    EXPECT_TRUE(task->logs("The smart-card logon token is in reader " + kLogonReader, 20000))
        << task->log().toStdString();
    EXPECT_EQ(LogonReader::remembered(kLabel), kLogonReaderBase);
    return task;
  }

  int before = 0;
};

TEST_F(LockWorkstationTest, TheCardLeavingTheLogonReaderLocksOnce) {
  auto task = startTaskWithLogonReader();
  ASSERT_TRUE(control("remove", kLogonAddress));
  EXPECT_TRUE(task->logs("Locking the workstation due to card removal of reader " + kLogonReader, 10000))
      << task->log().toStdString();
  spin(2000);
  EXPECT_EQ(locks(), 1);
}

TEST_F(LockWorkstationTest, AnotherReadersCardDoesNotLock) {
  auto task = startTaskWithLogonReader();
  ASSERT_TRUE(control("remove", kOtherAddress));
  spin(3000);
  EXPECT_EQ(locks(), 0) << task->log().toStdString();
}

TEST_F(LockWorkstationTest, WithTheSettingOffNothingLocks) {
  auto task = startTaskWithLogonReader();
  ApplicationSettings::setLockingWorkstation(false);
  ASSERT_TRUE(control("remove", kLogonAddress));
  spin(3000);
  EXPECT_EQ(locks(), 0) << task->log().toStdString();
}

TEST_F(LockWorkstationTest, ASessionNotOpenedWithACardIsNeverLocked) {
  ApplicationSettings::setLogonReader(kLabel, kLogonReaderBase);
  ::unsetenv("PKCS11_LOGIN_TOKEN_NAME");
  RunningTask task(0);
  EXPECT_TRUE(task.logs("This session was not opened with a smart card", 5000));
  ASSERT_TRUE(control("remove", kLogonAddress));
  spin(3000);
  EXPECT_EQ(locks(), 0) << task.log().toStdString();
}

// pcscd hears of the card first (the driver reports it gone as the link drops), so the lock comes at once for the
// card; the reader's removal that follows does not lock again.
TEST_F(LockWorkstationTest, TheLogonReaderLeavingWithItsCardLocksOnce) {
  auto task = startTaskWithLogonReader();
  ASSERT_TRUE(control("remove-reader", kLogonAddress));
  EXPECT_TRUE(task->logs("Locking the workstation due to card removal of reader " + kLogonReader, 15000))
      << task->log().toStdString();
  ASSERT_TRUE(waitFor([] { return !pcscdLists(kLogonReaderBase); }, 15000));
  spin(3000);
  EXPECT_EQ(locks(), 1) << task->log().toStdString();
  task.reset();
  ASSERT_TRUE(control("add-reader", logonReaderJson()));
}

TEST_F(LockWorkstationTest, TheEmptyLogonReaderLeavingLocksForItsRemoval) {
  auto task = startTaskWithLogonReader();
  ApplicationSettings::setLockingWorkstation(false);
  ASSERT_TRUE(control("remove", kLogonAddress));
  spin(2000);
  ApplicationSettings::setLockingWorkstation(true);
  ASSERT_TRUE(control("remove-reader", kLogonAddress));
  EXPECT_TRUE(task->logs("Locking the workstation due to removal of reader " + kLogonReader, 15000))
      << task->log().toStdString();
  spin(3000);
  EXPECT_EQ(locks(), 1) << task->log().toStdString();
  task.reset();
  ASSERT_TRUE(control("add-reader", logonReaderJson()));
}

// Another reader coming makes pcscd restart, and the logon reader may come back under another number: that is
// neither its removal nor its card's.
TEST_F(LockWorkstationTest, ReadersRenumberedByAPcscdRestartDoNotLock) {
  auto task = startTaskWithLogonReader();
  // A reader whose address sorts first takes pcscd's first number after the restart.
  ASSERT_TRUE(control("add-reader", QStringLiteral("{ \"family\": \"kelvo\", \"address\": \"000000000001\", "
                                                   "\"generation\": 2, \"card\": { \"atr\": \"3B8180018080\" } }")));
  ASSERT_TRUE(waitFor([] { return pcscReaders().contains(kLogonReaderBase + " 01 00"); }, 15000))
      << pcscReaders().join(", ").toStdString();
  ASSERT_TRUE(control("remove-reader", "000000000001"));
  ASSERT_TRUE(waitFor([] { return pcscReaders().contains(kLogonReader); }, 15000));
  spin(2000);
  EXPECT_EQ(locks(), 0) << task->log().toStdString();
  // The renumbered reader is still the logon reader.
  ASSERT_TRUE(control("remove", kLogonAddress));
  EXPECT_TRUE(task->logs("Locking the workstation due to card removal of reader " + kLogonReader, 10000))
      << task->log().toStdString();
}

// The logon reader is known from an earlier run; it is not there when the task starts.
TEST_F(LockWorkstationTest, AnAbsentLogonReaderLocksOnceAfterTheStartGrace) {
  ApplicationSettings::setLogonReader(kLabel, kLogonReaderBase);
  ASSERT_TRUE(control("remove-reader", kLogonAddress));
  ASSERT_TRUE(waitFor([] { return !pcscdLists(kLogonReaderBase); }, 15000));
  before = LogindMock::lockSessionCalls();
  {
    RunningTask task(3000);
    spin(1500);
    EXPECT_EQ(locks(), 0) << "locked before the start grace was over";
    EXPECT_TRUE(task.logs("Locking the workstation due to absence of reader " + kLogonReaderBase, 10000))
        << task.log().toStdString();
    spin(2000);
    EXPECT_EQ(locks(), 1) << task.log().toStdString();
    // Another reader coming restarts pcscd after the repeat window is over: the logon reader is still the one that
    // went, not gone again.
    spin(4000);
    ASSERT_TRUE(control("add-reader", QStringLiteral("{ \"family\": \"kelvo\", \"address\": \"000000000002\", "
                                                     "\"generation\": 2 }")));
    ASSERT_TRUE(waitFor([] { return pcscdLists(QStringLiteral("Kelvo 000000000002")); }, 15000))
        << pcscReaders().join(", ").toStdString();
    spin(3000);
    EXPECT_EQ(locks(), 1) << task.log().toStdString();
    ASSERT_TRUE(control("remove-reader", "000000000002"));
  }
  // A logon reader never seen is never missed.
  ApplicationSettings::setLogonReader(kLabel, QString());
  WorkstationLocker::forgetLastLock();
  before = LogindMock::lockSessionCalls();
  {
    RunningTask task(0);
    spin(2000);
    EXPECT_EQ(locks(), 0) << task.log().toStdString();
  }
  ASSERT_TRUE(control("add-reader", logonReaderJson()));
}

// ---------------------------------------------------------------------------------------------------------------
// The device's own check, when its card leaves

class DeviceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("PKCS11_LOGIN_TOKEN_NAME", kLabel, 1);
    ApplicationSettings::setLockingWorkstation(true);
    WorkstationLocker::forgetLastLock();
    KelvoDevice::Descriptor descriptor;
    descriptor.insert("Serial", "4711");
    descriptor.insert("MAC", "001A7DDA7113");
    device = std::make_unique<KelvoDevice>(descriptor);
    QObject::connect(device.get(), &KelvoDevice::debugMessageLogged, [this](const QString& m) { messages.append(m); });
    QObject::connect(device.get(), &KelvoDevice::errorOccurred, [this](const QString& m) { messages.append(m); });
    before = LogindMock::lockSessionCalls();
  }
  void TearDown() override { ::setenv("XDG_SESSION_ID", "c1", 1); }

  int locks() const { return LogindMock::lockSessionCalls() - before; }

  std::unique_ptr<KelvoDevice> device;
  QStringList messages;
  int before = 0;
};

TEST_F(DeviceLockTest, TheUsersReaderLocksOnceForOneRemoval) {
  device->setAuthorized(true);
  device->lockWorkstationOnCardRemoval();
  device->lockWorkstationOnCardRemoval();
  EXPECT_EQ(locks(), 1);
  EXPECT_EQ(messages.filter("Locking the workstation caused by removing a card from Kelvo 4711").size(), 1);
}

TEST_F(DeviceLockTest, NothingLocksWithoutAuthorisationSettingOrCardLogon) {
  device->lockWorkstationOnCardRemoval();
  device->setAuthorized(true);
  ApplicationSettings::setLockingWorkstation(false);
  device->lockWorkstationOnCardRemoval();
  ApplicationSettings::setLockingWorkstation(true);
  ::unsetenv("PKCS11_LOGIN_TOKEN_NAME");
  device->lockWorkstationOnCardRemoval();
  EXPECT_EQ(locks(), 0);
  EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

// One removal seen by the device and by the lock task at the same moment, each asking from its own thread while
// logind is slow to answer: the session is locked once.
TEST_F(DeviceLockTest, TwoThreadsAskingAtOnceLockOnce) {
  ASSERT_TRUE(LogindMock::delayLockSession(500));
  std::array<WorkstationLocker::Result, 2> results{};
  std::array<QString, 2> failures;
  std::thread first([&] { results[0] = WorkstationLocker::lock(failures[0]); });
  std::thread second([&] { results[1] = WorkstationLocker::lock(failures[1]); });
  first.join();
  second.join();
  EXPECT_TRUE(LogindMock::delayLockSession(0));
  EXPECT_EQ(locks(), 1) << failures[0].toStdString() << failures[1].toStdString();
  const auto locked = std::count(results.begin(), results.end(), WorkstationLocker::Result::kLocked);
  const auto repeated = std::count(results.begin(), results.end(), WorkstationLocker::Result::kNotRepeated);
  EXPECT_EQ(locked, 1);
  EXPECT_EQ(repeated, 1);
}

// Outside a session of its own (started by the user's service manager) the program locks the user's display
// session; without one it says why it could not lock.
TEST_F(DeviceLockTest, WithoutASessionOfItsOwnTheUsersDisplaySessionIsLocked) {
  device->setAuthorized(true);
  ::unsetenv("XDG_SESSION_ID");
  ASSERT_TRUE(LogindMock::setDisplaySession(QString()));
  device->lockWorkstationOnCardRemoval();
  EXPECT_EQ(locks(), 0);
  EXPECT_EQ(messages, QStringList{"Failed to lock the workstation (error the user has no graphical session)"});

  ASSERT_TRUE(LogindMock::setDisplaySession("c1"));
  device->lockWorkstationOnCardRemoval();
  EXPECT_EQ(locks(), 1) << messages.join('\n').toStdString();
}

}  // namespace
