#pragma once
// Path terms shared by the source list, the batch controller and the jobs. Paths are UTF-8 byte
// strings and "/" is the only separator.

#include <string>
#include <string_view>

namespace tessane {

/// Text after the last "/" (the whole path when there is none).
std::string ExtractFileName(std::string_view path);
/// Text up to and including the last "/" (empty when there is none).
std::string ExtractFilePath(std::string_view path);
/// From the last "." after the last "/", dot included; empty without such a dot.
std::string ExtractFileExt(std::string_view path);
/// Cuts the path at its extension's dot (or keeps it whole) and appends ext.
std::string ChangeFileExt(std::string_view path, std::string_view ext);
/// Lowers the ASCII letters A to Z only.
std::string LowerCaseAscii(std::string_view text);
/// Substring search that finds nothing for an empty needle.
bool ContainsText(std::string_view haystack, std::string_view needle);
/// Appends "/" unless the text already ends with one.
std::string IncludeTrailingSeparator(std::string_view folder);

/// True when a regular file (or anything that is not a folder) exists at the path.
bool FileExists(const std::string& path);
/// True when a folder exists at the path.
bool DirectoryExists(const std::string& path);
/// The absolute form of a path (without resolving links), as error messages show it.
std::string ExpandFileName(const std::string& path);

}  // namespace tessane
