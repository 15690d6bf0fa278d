// Build tool: writes the installed launcher (tessane.desktop) with the code that writes the
// per-user entry, so both list the MIME types of the format registry.

#include <fstream>
#include <iostream>

#include "app/desktop_entry.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " OUTPUT\n";
    return 2;
  }
  const std::string text = tessane::InstalledDesktopEntryText();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::cerr << argv[0] << ": cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
