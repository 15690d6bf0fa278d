#include "app/work_queue_pump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>

#include "app/application.h"
#include "base/thread.h"

namespace tessane {

WorkQueuePump::WorkQueuePump() : wakeType_(QEvent::registerEventType()) {
  const int type = wakeType_;
  // Called by workers under the queue lock: postEvent is safe from any thread. The event is
  // owned by Qt's queue once posted.
  SetWakeMainThread([this, type] {
    QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(type)));
  });
  // The idle step: runs outside event delivery, so errors are caught here.
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          [] { GuardedCall([] { CheckSynchronize(); }); });
}

WorkQueuePump::~WorkQueuePump() {
  SetWakeMainThread(nullptr);
}

bool WorkQueuePump::event(QEvent* event) {
  if (event->type() == wakeType_) {
    CheckSynchronize();
    return true;
  }
  return QObject::event(event);
}

}  // namespace tessane
