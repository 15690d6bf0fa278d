// Tessane: the window. Fills the format registry, opens the main window with the command-line
// paths in its list and runs the event loop until the window is closed.

#include <QStringList>

#include "app/application.h"
#include "app/main_window.h"
#include "app/work_queue_pump.h"
#include "base/allocator.h"
#include "base/thread.h"
#include "formats/command_line_formats.h"

int main(int argc, char** argv) {
  tessane::KeepLargeBlocksForReuse();
  tessane::Application app(argc, argv);
  // Not the display name: Qt would append it to the window's caption.
  QApplication::setApplicationName(QString::fromUtf8(tessane::kApplicationTitle));
  QApplication::setDesktopFileName(QStringLiteral("tessane"));
  QApplication::setWindowIcon(tessane::ApplicationIcon());
  tessane::RegisterCommandLineFormats();
  tessane::WorkQueuePump pump;

  int status;
  {
    QStringList paths = QApplication::arguments();
    paths.removeFirst();
    tessane::MainWindow form(paths, tessane::MainWindow::Settings::kRemembered);
    form.show();
    status = QApplication::exec();
  }
  // Work still queued when the window closed is not run; its workers are released so that
  // the process ends with no thread still waiting.
  tessane::AbandonQueuedWork();
  return status;
}
