// The window tests need one application object for the whole run, created before any test.

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/application.h"
#include "app/work_queue_pump.h"
#include "base/thread.h"
#include "formats/format_registry.h"
#include "support/test_support.h"

int main(int argc, char** argv) {
  // Also when the suite is listed at build time, outside ctest's environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The window's desktop entry must never touch the user's own.
  tessane::test::TempDir dataHome;
  setenv("XDG_DATA_HOME", dataHome.Path().c_str(), 1);
  // Nor its remembered options.
  tessane::test::TempDir configHome;
  setenv("XDG_CONFIG_HOME", configHome.Path().c_str(), 1);

  ::testing::InitGoogleTest(&argc, argv);
  tessane::Application app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(tessane::kApplicationTitle));
  tessane::RegisterStandardFormats();
  tessane::WorkQueuePump pump;
  const int status = RUN_ALL_TESTS();
  tessane::AbandonQueuedWork();
  return status;
}
