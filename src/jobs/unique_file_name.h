#pragma once

#include <string>

namespace tessane {

/// The path itself when no file exists there (a folder does not count); otherwise the first of
/// name[1].ext, name[2].ext, ... that is free. Every candidate is made from the given path.
std::string UniqueFileName(const std::string& path);

}  // namespace tessane
