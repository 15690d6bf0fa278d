// tessane-cli: the window's batch jobs from the command line.

#include <unistd.h>

#include <iostream>

#include "cli/batch_runner.h"
#include "cli/cli_options.h"

int main(int argc, char** argv) {
  using namespace tessane::cli;
  const TParseResult parsed = ParseCommandLine(argc, argv);
  std::cout << parsed.Output;
  std::cerr << parsed.Error;
  if (!parsed.Options) return parsed.ExitStatus;
  TBatchRunner runner(*parsed.Options);
  return runner.Run(std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
}
