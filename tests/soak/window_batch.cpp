// Drives the window's batch run offscreen over a list of files, as a user pressing START would,
// and prints what the run left behind in this process: wall and CPU seconds, peak and current
// resident memory, and the number of threads still alive.
//
//   tessane-window-batch DEST OUTPUT_INDEX SIZE LIST_FILE
//
// OUTPUT_INDEX is the position in the window's output list (0 keeps the source's format),
// SIZE the "largest side" in pixels, LIST_FILE one source path per line.

#include <QApplication>
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
#include "app/form1.h"
#include "app/work_queue_pump.h"
#include "base/thread.h"
#include "formats/registry.h"

namespace {

// One figure of /proc/self/status, in its own unit (kB for memory); -1 when it is missing.
long StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
  }
  return -1;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QStringList ReadList(const char* path) {
  QStringList paths;
  std::ifstream list(path);
  std::string line;
  while (std::getline(list, line))
    if (!line.empty()) paths << QString::fromStdString(line);
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s DEST OUTPUT_INDEX SIZE LIST_FILE\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  tessane::TApplication app(argc, argv);
  tessane::RegisterStandardFormats();
  tessane::TWorkQueuePump pump;

  const QStringList sources = ReadList(argv[4]);
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  {
    tessane::TForm1 form(sources);
    form.Edit1->setText(QString::fromLocal8Bit(argv[1]));
    form.Output->SetItemIndex(std::atoi(argv[2]));
    form.SpinEdit1->SetValue(std::atoi(argv[3]));
    form.Button2->click();
    // Copies run on workers that report back through the main thread: wait until none is left.
    while (tessane::LiveThreadCount() > 0) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      tessane::CheckSynchronize();
    }
    std::printf("listed %d\n", form.ListBox1->count());
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("wall %.3f\ncpu %.3f\npeak_rss_kb %ld\nrss_kb %ld\nthreads %ld\n", wall,
              CpuSeconds() - cpuStart, StatusField("VmHWM"), StatusField("VmRSS"),
              StatusField("Threads"));
  tessane::AbandonQueuedWork();
  return 0;
}
