#pragma once

#include <string>

namespace tessane {

class AtomicFile;

/// The path itself when nothing exists under that name; otherwise the first of name[1].ext,
/// name[2].ext, ... that is free. Anything counts as taken: a file, a folder, a link (also one
/// that points nowhere). A name that cannot even be checked (too long, a folder that cannot be
/// searched) is returned as it is, so that creating it reports why. Every candidate is made from
/// the given path; throws FileCreateError when even the last number tried is taken.
std::string UniqueFileName(const std::string& path);

/// Gives `file` the first free name made from `original` by UniqueFileName and returns it. The
/// claim is atomic; when another writer takes the name first, the next free number is asked for
/// from `original` again (a bounded number of times).
std::string CommitUnique(AtomicFile& file, const std::string& original);

}  // namespace tessane
