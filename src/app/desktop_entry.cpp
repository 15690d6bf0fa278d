#include "app/desktop_entry.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string_view>
#include <vector>

#include "base/atomic_file.h"
#include "base/paths.h"
#include "formats/command_line_formats.h"
#include "formats/format_registry.h"

namespace tessane {

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string DataHome() {
  // Relative values are invalid for XDG variables and must be ignored.
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/') return data;
  return HomeFolder() + "/.local/share";
}

std::string ApplicationsFolder() {
  return DataHome() + "/applications";
}

// Escapes for a string value of a desktop entry (the file is read as key=value lines).
std::string EscapeValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// One argument of an Exec line: quoted when it holds a reserved character, and "%" doubled so
// it is not taken for a field code.
std::string ExecArgument(std::string_view arg) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string out;
  const bool quote = arg.find_first_of(kReserved) != std::string_view::npos;
  if (quote) out += '"';
  for (char c : arg) {
    if (c == '%') {
      out += "%%";
      continue;
    }
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

// shared-mime-info's canonical types for the registered extensions; an extension without a
// common type (scr, rla, cel, ...) is left out rather than claimed under an invented one.
const std::map<std::string, const char*, std::less<>>& MimeByExtension() {
  static const std::map<std::string, const char*, std::less<>> table = {
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"jpe", "image/jpeg"},
      {"jfif", "image/jpeg"},
      {"bmp", "image/bmp"},
      {"dib", "image/bmp"},
      {"ico", "image/vnd.microsoft.icon"},
      {"wmf", "image/wmf"},
      {"emf", "image/emf"},
      {"tga", "image/x-tga"},
      {"vda", "image/x-tga"},
      {"icb", "image/x-tga"},
      {"vst", "image/x-tga"},
      {"tif", "image/tiff"},
      {"tiff", "image/tiff"},
      {"eps", "image/x-eps"},
      {"pcx", "image/vnd.zbrush.pcx"},
      {"sgi", "image/x-sgi"},
      {"rgb", "image/x-rgb"},
      {"psd", "image/vnd.adobe.photoshop"},
      {"ppm", "image/x-portable-pixmap"},
      {"pgm", "image/x-portable-graymap"},
      {"pbm", "image/x-portable-bitmap"},
      {"pcd", "image/x-photo-cd"},
      {"gif", "image/gif"},
      {"png", "image/png"},
      {"jp2", "image/jp2"},
      {"j2k", "image/x-jp2-codestream"},
      {"jpc", "image/x-jp2-codestream"},
      {"heic", "image/heif"},
      {"heif", "image/heif"},
      {"hif", "image/heif"},
      {"avif", "image/avif"},
      {"webp", "image/webp"},
      {"jxl", "image/jxl"},
  };
  return table;
}

}  // namespace

std::string SendToLinkPath() {
  return ApplicationsFolder() + "/" + kDesktopFileName;
}

std::string LegacySendToLinkPath() {
  return ApplicationsFolder() + "/Tessane.desktop";
}

bool SendToLinkExists() {
  return FileExists(SendToLinkPath()) || FileExists(LegacySendToLinkPath());
}

std::string DesktopEntryMimeTypes() {
  RegisterCommandLineFormats();
  std::vector<std::string_view> seen;
  std::string out;
  for (const FileFormat& format : Formats().Entries()) {
    const auto it = MimeByExtension().find(format.ext);
    if (it == MimeByExtension().end()) continue;
    const std::string_view type = it->second;
    if (std::find(seen.begin(), seen.end(), type) != seen.end()) continue;
    seen.push_back(type);
    out.append(type).append(";");
  }
  // Folders too: the program adds their pictures.
  return out + "inode/directory;";
}

namespace {

// The one body of both entries; they differ only in how the program is found.
std::string EntryText(const std::string& exec, const std::string& folder) {
  std::string text = "[Desktop Entry]\nType=Application\nName=Tessane\n";
  text += "GenericName=Batch Image Resizer\n";
  text += "Comment=Resize and convert image files in batches\n";
  text += "Exec=" + exec + " %F\n";
  if (!folder.empty()) text += "Path=" + EscapeValue(folder) + "\n";
  text += "Icon=tessane\nTerminal=false\nCategories=Graphics;\n";
  text += "MimeType=" + DesktopEntryMimeTypes() + "\n";
  text += "Keywords=resize;scale;convert;batch;thumbnail;\n";
  return text;
}

}  // namespace

std::string DesktopEntryText(const std::string& programPath) {
  return EntryText(EscapeValue(ExecArgument(programPath)), ExtractFilePath(programPath));
}

std::string InstalledDesktopEntryText() {
  return EntryText("tessane", "");
}

void CreateSendToLink(const std::string& programPath) {
  const std::string text = DesktopEntryText(ExpandFileName(programPath));
  try {
    std::error_code ec;
    std::filesystem::create_directories(ApplicationsFolder(), ec);
    AtomicFile file(SendToLinkPath());
    file.Stream().WriteBuffer(text.data(), text.size());
    file.Commit();
    // The entry now has its current name; one left under the old name would show twice. On a
    // file system that ignores case both names are the one file just written.
    const std::string legacy = LegacySendToLinkPath();
    if (FileExists(legacy) && !std::filesystem::equivalent(legacy, SendToLinkPath(), ec) && !ec)
      ::unlink(legacy.c_str());
  } catch (const std::exception&) {
    // Like the shell-link calls it stands in for, a failed write goes unreported; the check box
    // reflects SendToLinkExists() at the next start.
  }
}

void DeleteSendToLink() {
  for (const std::string& path : {SendToLinkPath(), LegacySendToLinkPath()})
    if (FileExists(path)) ::unlink(path.c_str());
}

}  // namespace tessane
