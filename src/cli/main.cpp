// tessane-cli: the window's batch jobs from the command line.

#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <iostream>
#include <memory>

#include "base/allocator.h"
#include "base/paths.h"
#include "cli/batch_runner.h"
#include "cli/cli_options.h"
#include "formats/format_registry.h"

namespace {

// Qt's own notices (about the runtime folder, fonts and the like) are not the user's business
// here; only its critical messages reach the terminal.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << message.toStdString() << "\n";
}

bool NeedsFonts(const std::string& path) {
  const std::string ext = tessane::ExtractFileExt(path);
  return !ext.empty() && tessane::FormatNeedsFonts(ext.substr(1));
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tessane::cli;
  tessane::KeepLargeBlocksForReuse();
  const ParseResult parsed = ParseCommandLine(argc, argv);
  std::cout << parsed.output;
  std::cerr << parsed.error;
  if (!parsed.options) return parsed.exit_status;

  BatchRunner runner(*parsed.options);
  // Text in some formats (metafiles) is drawn with the font database, which comes with a GUI
  // application object. It is made only when the registry says a source may need fonts, on the
  // offscreen platform, so that no display is needed and other batches start as quickly.
  std::unique_ptr<QGuiApplication> gui;
  int guiArgc = 3;
  char platformFlag[] = "-platform";
  char platformName[] = "offscreen";
  char* guiArgv[] = {argv[0], platformFlag, platformName, nullptr};
  runner.on_sources_collected = [&](const std::vector<std::string>& sources) {
    if (!std::any_of(sources.begin(), sources.end(), NeedsFonts)) return;
    qInstallMessageHandler(QuietQtMessages);
    gui = std::make_unique<QGuiApplication>(guiArgc, guiArgv);
  };
  InstallStopHandlers();
  return runner.Run(std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
}
