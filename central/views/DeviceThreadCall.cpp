// SPDX-License-Identifier: Apache-2.0
#include "DeviceThreadCall.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <deque>
#include <map>
#include <mutex>

namespace {

std::mutex& mailboxLock() {
  static std::mutex lock;
  return lock;
}

// Jobs waiting per thread. A wake-up that Qt drops with its deleted context leaves its jobs here; the next wake-up
// of that thread runs them, and their own guards drop them.
std::map<QThread*, std::deque<std::function<void()>>>& mailboxes() {
  static std::map<QThread*, std::deque<std::function<void()>>> boxes;
  return boxes;
}

}  // namespace

void DeviceThreadCall::post(QObject* context, std::function<void()> job) {
  {
    std::lock_guard<std::mutex> guard(mailboxLock());
    mailboxes()[context->thread()].push_back(std::move(job));
  }
  QMetaObject::invokeMethod(
      context, [] { drainCurrentThread(); }, Qt::QueuedConnection);
}

void DeviceThreadCall::drainCurrentThread() {
  std::deque<std::function<void()>> jobs;
  {
    std::lock_guard<std::mutex> guard(mailboxLock());
    auto box = mailboxes().find(QThread::currentThread());
    if (box == mailboxes().end()) return;
    jobs.swap(box->second);
    mailboxes().erase(box);
  }
  for (std::function<void()>& job : jobs) job();
}
