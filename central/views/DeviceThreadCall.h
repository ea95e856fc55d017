#pragma once
// Runs a reader operation of a device in the device's own thread and hands its result to a widget in the GUI
// thread. The GUI thread never talks to a reader itself: a slow or lost reader would freeze the window.
//
// The work is queued to the device, so it is dropped if the device is gone first; the result is queued to the
// application object, which outlives every widget, and delivered only if the receiving widget still exists.

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <utility>

class DeviceThreadCall {
 public:
  template <typename Result, typename Work, typename Deliver>
  static void run(QObject* device, QWidget* receiver, Work work, Deliver deliver) {
    QPointer<QWidget> guard(receiver);
    QMetaObject::invokeMethod(
        device,
        [guard, work = std::move(work), deliver = std::move(deliver)]() mutable {
          Result result = work();
          QMetaObject::invokeMethod(
              QCoreApplication::instance(),
              [guard, result = std::move(result), deliver = std::move(deliver)]() mutable {
                if (!guard.isNull()) deliver(std::move(result));
              },
              Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
  }
};
