#pragma once
// The Qt side of the work queue: workers wake the UI thread with a posted event, and the UI
// thread also checks the queue whenever its event loop goes idle. Modal loops dispatch the posted
// event too, so queued work runs inside message boxes and dialogs as well.

#include <QObject>

namespace tessane {

/// While it exists, queued work runs on the thread that created it (the main thread): when the
/// wake-up event is dispatched and in the idle step of the event loop.
class WorkQueuePump : public QObject {
  Q_OBJECT

 public:
  WorkQueuePump();
  ~WorkQueuePump() override;

 protected:
  bool event(QEvent* event) override;

 private:
  int wakeType_;
};

}  // namespace tessane
