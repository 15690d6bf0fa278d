#pragma once

#include <string>

namespace tessane {

class AtomicFile;
class RunFiles;

/// The path itself when nothing exists under that name; otherwise the first of name[1].ext,
/// name[2].ext, ... that is free. Anything counts as taken: a file, a folder, a link (also one
/// that points nowhere). A name that cannot even be checked (too long, a folder that cannot be
/// searched) is returned as it is, so that creating it reports why. Every candidate is made from
/// the given path; throws FileCreateError when even the last number tried is taken. With `run`,
/// the search starts after the numbers of this name the batch has claimed, so that many outputs
/// of one name cost one try each rather than one per earlier output.
std::string UniqueFileName(const std::string& path, const RunFiles* run = nullptr);

/// Gives `file` the first free name made from `original` by UniqueFileName and returns it. The
/// claim is atomic; when another writer takes the name first, the next free number is asked for
/// from `original` again (a bounded number of times). With `run`, the number claimed is
/// remembered for the batch's next search.
std::string CommitUnique(AtomicFile& file, const std::string& original, RunFiles* run = nullptr);

}  // namespace tessane
