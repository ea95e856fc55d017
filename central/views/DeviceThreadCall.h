// SPDX-License-Identifier: Apache-2.0
#pragma once
// Runs a reader operation of a device in the device's own thread and hands its result to a widget in the GUI
// thread. The GUI thread never talks to a reader itself: a slow or lost reader would freeze the window.
//
// Jobs travel through a mailbox per thread under a std::mutex, and only a capture-free wake-up goes through Qt's
// event queue: Qt synchronises its queues with futexes that the thread sanitizer cannot see, so data carried in the
// posted event itself would look like a race. A job for a device or widget that is gone by the time it runs is
// dropped.

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <utility>

class DeviceThreadCall {
 public:
  // Runs the job in the thread of the context object, at the next turn of that thread's event loop.
  static void post(QObject* context, std::function<void()> job);

  template <typename Result, typename Work, typename Deliver>
  static void run(QObject* device, QWidget* receiver, Work work, Deliver deliver) {
    QPointer<QObject> deviceGuard(device);
    QPointer<QWidget> receiverGuard(receiver);
    post(device, [deviceGuard, receiverGuard, work = std::move(work), deliver = std::move(deliver)]() mutable {
      if (deviceGuard.isNull()) return;
      auto result = std::make_shared<Result>(work());
      post(qApp, [receiverGuard, result, deliver = std::move(deliver)]() mutable {
        if (!receiverGuard.isNull()) deliver(std::move(*result));
      });
    });
  }

 private:
  static void drainCurrentThread();
};
