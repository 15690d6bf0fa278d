// Drives the window's batch run offscreen, as a user would: files listed, destination typed,
// output format and size chosen, outputs replaced, START pressed; waits until the last file's
// work has run. Prints what the run cost and left behind in this process: CPU seconds (user +
// sys, from START to the end of the run), wall seconds, peak and current resident memory, and
// the number of threads still alive. Used by the soak test and by the benchmarks.
//
//   tessane-window-batch DEST OUTPUT_INDEX SIZE FILE...
//
// OUTPUT_INDEX is the position in the window's output list (0 keeps the source's format,
// 1 ".jpg", 2 ".png"), SIZE the "largest side" in pixels; the filter stays at its default.

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/application.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/work_queue_pump.h"
#include "base/allocator.h"
#include "base/thread.h"
#include "formats/format_registry.h"

namespace {

// One figure of /proc/self/status, in its own unit (kB for memory); -1 when it is missing.
long StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(name + ":", 0) == 0)
      return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
  }
  return -1;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A control of the window by its name, as a user's tool finds it.
template <class T>
T* Control(const QWidget& window, const char* name) {
  T* const control = window.findChild<T*>(QString::fromLatin1(name));
  if (!control) {
    std::fprintf(stderr, "no control %s\n", name);
    std::exit(2);
  }
  return control;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s DEST OUTPUT_INDEX SIZE FILE...\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // As the window's own main does.
  tessane::KeepLargeBlocksForReuse();
  tessane::Application app(argc, argv);
  tessane::RegisterStandardFormats();
  tessane::WorkQueuePump pump;

  QStringList sources;
  for (int i = 4; i < argc; ++i) sources << QString::fromLocal8Bit(argv[i]);
  {
    tessane::MainWindow form(sources);  // listed as if given on the command line
    Control<QLineEdit>(form, "Edit1")->setText(QString::fromLocal8Bit(argv[1]));
    Control<tessane::RadioGroupBox>(form, "Output")->setItemIndex(std::atoi(argv[2]));
    Control<tessane::NumberBox>(form, "SpinEdit1")->setValue(std::atoi(argv[3]));
    Control<QCheckBox>(form, "ResOverWrite")->setChecked(true);
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    Control<QPushButton>(form, "Button2")->click();
    // The click returns once the last file's outcome is in (the work runs on the window's
    // worker thread); jobs started the older way would still be drained here.
    while (tessane::LiveThreadCount() > 0) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      tessane::CheckSynchronize();
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("files %d\ncpu %.3f\nwall %.3f\n", Control<QListWidget>(form, "ListBox1")->count(),
                CpuSeconds() - cpuStart, wall);
  }
  std::printf("peak_rss_kb %ld\nrss_kb %ld\nthreads %ld\n", StatusField("VmHWM"),
              StatusField("VmRSS"), StatusField("Threads"));
  tessane::AbandonQueuedWork();
  return 0;
}
