#pragma once
// Output names from a template (--name): fields in braces, expanded per file into a path below
// the destination folder.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace tessane::cli {

/// What a file's name may be made of.
struct NameFields {
  std::string name;                 // the source's file name without its extension
  std::string ext;                  // the output's extension without its dot ("" for none)
  int32_t width = -1, height = -1;  // the output's size; -1 while unknown
  size_t index = 0;                 // position in the run's list, from 1
  std::string dir;                  // the source's folder relative to its argument ("" at the top)
  std::optional<std::tm> date;      // EXIF DateTimeOriginal or modification time
  std::string size;                 // the size the output was made for ("320", "200x100")
};

class NameTemplate {
 public:
  /// Parses {name}, {ext}, {width}, {height}, {index} (or {index:N}, N digits with leading
  /// zeros), {dir}, {date} (= {date:%Y-%m-%d}, any strftime format after the colon) and {size};
  /// "{{" and "}}" stand for braces. Returns nothing and sets `error` for anything else, for an
  /// empty or absolute template, and for one that leaves the destination folder by itself.
  static std::optional<NameTemplate> Parse(const std::string& text, std::string& error);

  bool Uses(const std::string& field) const;
  /// The same template with "{dir}/" in front (for --keep-tree), unless it uses {dir} already.
  NameTemplate WithTreeFolder() const;

  /// The path below the destination folder. The output's extension is put at the end when the
  /// template has no {ext}; an empty {dir} takes the "/" after it along; empty and "."
  /// components go. Throws FileSystemError when the name is empty, absolute or climbs out with "..".
  /// {width} and {height} still unknown stay as they are written.
  std::string Expand(const NameFields& fields) const;

 private:
  struct Piece {
    std::string literal;  // text, when field is empty
    std::string field;
    std::string format;  // after the colon
  };
  std::vector<Piece> pieces_;
};

}  // namespace tessane::cli
