// SPDX-License-Identifier: Apache-2.0
#include "ApplicationLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "trevalon/common/Log.h"

namespace {

Q_LOGGING_CATEGORY(libraryLog, "kelvo.library")

struct LogFile {
  std::mutex lock;
  std::FILE* file = nullptr;
  QString path;
  qint64 size = 0;
  qint64 maxSize = ApplicationLog::kDefaultMaxFileSize;
};

LogFile& logFile() {
  // Never destroyed: threads may still log while the process exits.
  static LogFile* state = new LogFile();
  return *state;
}

const char* levelText(QtMsgType type) {
  switch (type) {
    case QtDebugMsg:
      return "debug";
    case QtInfoMsg:
      return "info";
    case QtWarningMsg:
      return "warning";
    case QtCriticalMsg:
      return "critical";
    case QtFatalMsg:
      return "fatal";
  }
  return "unknown";
}

// Log files may hold reader addresses and user names: readable by their owner only.
std::FILE* openForAppend(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "a");
  if (file == nullptr) ::close(fd);
  return file;
}

void rotate(LogFile& state) {
  std::fclose(state.file);
  state.file = nullptr;
  for (int generation = ApplicationLog::kKeptGenerations - 1; generation >= 1; --generation) {
    const QString from = state.path + QLatin1Char('.') + QString::number(generation);
    const QString to = state.path + QLatin1Char('.') + QString::number(generation + 1);
    QFile::remove(to);
    QFile::rename(from, to);
  }
  const QString first = state.path + QLatin1String(".1");
  QFile::remove(first);
  QFile::rename(state.path, first);
  state.file = openForAppend(state.path);
  state.size = 0;
}

}  // namespace

QString ApplicationLog::defaultFilePath() {
  QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
  if (stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome)) {
    stateHome = QDir::homePath() + QLatin1String("/.local/state");
  }
  return stateHome + QLatin1String("/kelvo-central/central.log");
}

QString ApplicationLog::filePath() {
  LogFile& state = logFile();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.path.isEmpty() ? defaultFilePath() : state.path;
}

bool ApplicationLog::install(const QString& filePath, qint64 maxFileSize) {
  {
    LogFile& state = logFile();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.file != nullptr) std::fclose(state.file);
    state.path = filePath;
    state.maxSize = maxFileSize;
    const QString directory = QFileInfo(filePath).absolutePath();
    if (!QDir(directory).exists() && QDir().mkpath(directory)) {
      QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    state.file = openForAppend(filePath);
    state.size = state.file != nullptr ? QFileInfo(filePath).size() : 0;
  }
  qInstallMessageHandler(&ApplicationLog::handleMessage);
  LogFile& state = logFile();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.file != nullptr;
}

void ApplicationLog::uninstall() {
  qInstallMessageHandler(nullptr);
  LogFile& state = logFile();
  std::lock_guard<std::mutex> guard(state.lock);
  if (state.file != nullptr) std::fclose(state.file);
  state.file = nullptr;
}

QString ApplicationLog::formatLine(QtMsgType type, const char* category, const QString& message) {
  return QStringLiteral("%1 %2 [%3] %4\n")
      .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")))
      .arg(QLatin1String(levelText(type)), -8)
      .arg(QLatin1String(category != nullptr ? category : "default"))
      .arg(message);
}

void ApplicationLog::handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const QByteArray line = formatLine(type, context.category, message).toUtf8();
  {
    LogFile& state = logFile();
    std::lock_guard<std::mutex> guard(state.lock);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
    if (state.file != nullptr) {
      std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), state.file);
      std::fflush(state.file);
      state.size += line.size();
      if (state.size >= state.maxSize) rotate(state);
    }
  }
  if (type == QtFatalMsg) std::abort();
}

namespace {

// What a library line becomes in the Qt log. Never QtFatalMsg: a library's fatal line must not end the program.
QtMsgType qtTypeOf(trevalon::common::LogLevel level) {
  using trevalon::common::LogLevel;
  switch (level) {
    case LogLevel::trace:
    case LogLevel::debug:
      return QtDebugMsg;
    case LogLevel::info:
    case LogLevel::notice:
      return QtInfoMsg;
    case LogLevel::warning:
      return QtWarningMsg;
    case LogLevel::error:
    case LogLevel::critical:
    case LogLevel::fatal:
      return QtCriticalMsg;
  }
  return QtInfoMsg;
}

void logLibraryLine(QtMsgType type, const std::string& line) {
  std::string text = trevalon::common::withoutTimeStamp(line);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  const QString message = QString::fromStdString(text);
  switch (type) {
    case QtDebugMsg:
      qCDebug(libraryLog).noquote() << message;
      break;
    case QtWarningMsg:
      qCWarning(libraryLog).noquote() << message;
      break;
    case QtCriticalMsg:
    case QtFatalMsg:
      qCCritical(libraryLog).noquote() << message;
      break;
    case QtInfoMsg:
      qCInfo(libraryLog).noquote() << message;
      break;
  }
}

}  // namespace

void ApplicationLog::routeLibraryLog(bool tracing) {
  using trevalon::common::LogLevel;
  for (LogLevel level : {LogLevel::trace, LogLevel::debug, LogLevel::info, LogLevel::notice, LogLevel::warning,
                         LogLevel::error, LogLevel::critical, LogLevel::fatal}) {
    // Below info the library traces every call and every named lock (three lines per request and reader).
    if ((level == LogLevel::trace || level == LogLevel::debug) && !tracing) continue;
    const QtMsgType type = qtTypeOf(level);
    trevalon::common::addLogSink(
        static_cast<uint8_t>(level), [type](const std::string& line) { logLibraryLine(type, line); },
        std::string("central-") + trevalon::common::logLevelText(level));
  }
}

bool ApplicationLog::tracingRequested(const QStringList& arguments) {
  const QString variable = qEnvironmentVariable("KELVO_TRACE");
  return arguments.contains(QStringLiteral("--trace")) || (!variable.isEmpty() && variable != QLatin1String("0"));
}
