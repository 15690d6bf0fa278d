#include "cli/name_template.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <set>

#include "base/errors.h"

namespace tessane::cli {

namespace {

const std::set<std::string>& FieldNames() {
  static const std::set<std::string> names = {"name",  "ext", "width", "height",
                                              "index", "dir", "date",  "size"};
  return names;
}

// The longest a name part may be on the usual file systems.
constexpr size_t kMaxNamePart = 255;

// Why a {date:...} text cannot be part of a name; empty when it can.
std::string DateFault(const std::string& text) {
  if (std::any_of(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
    return "gives a control character";
  if (text.size() > kMaxNamePart) return "gives more than 255 bytes";
  return {};
}

std::string FormatDate(const std::tm& tm, const std::string& format) {
  if (format.empty()) return {};
  // Room for any conversion's text, so that a long result is measured rather than lost.
  std::string text(kMaxNamePart + 64 * format.size() + 1, '\0');
  text.resize(std::strftime(text.data(), text.size(), format.c_str(), &tm));
  const std::string fault = DateFault(text);
  if (!fault.empty()) throw FileSystemError(Format("{date:%s} %s", format.c_str(), fault.c_str()));
  return text;
}

std::string Padded(size_t value, const std::string& digits) {
  std::string text = std::to_string(value);
  int width = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), width);
  if (text.size() < static_cast<size_t>(width))
    text.insert(0, static_cast<size_t>(width) - text.size(), '0');
  return text;
}

}  // namespace

std::optional<NameTemplate> NameTemplate::Parse(const std::string& text, std::string& error) {
  NameTemplate result;
  std::string literal;
  auto flush = [&] {
    if (!literal.empty()) result.pieces_.push_back({literal, {}, {}});
    literal.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      literal += c;
      ++i;
      continue;
    }
    if (c == '}') {
      error = "a \"}\" without its \"{\" (write \"}}\" for a brace): " + text;
      return std::nullopt;
    }
    if (c != '{') {
      literal += c;
      continue;
    }
    const size_t close = text.find('}', i);
    if (close == std::string::npos) {
      error = "a \"{\" without its \"}\" (write \"{{\" for a brace): " + text;
      return std::nullopt;
    }
    const std::string inside = text.substr(i + 1, close - i - 1);
    const size_t colon = inside.find(':');
    Piece piece{
        {}, inside.substr(0, colon), colon == std::string::npos ? "" : inside.substr(colon + 1)};
    if (!FieldNames().count(piece.field)) {
      error = "no such field {" + piece.field +
              "} (fields: name, ext, width, height, index, dir, date, size)";
      return std::nullopt;
    }
    if (colon != std::string::npos && piece.field != "date" && piece.field != "index") {
      error = "{" + piece.field + "} takes no format";
      return std::nullopt;
    }
    if (piece.field == "index" && colon != std::string::npos) {
      int digits = 0;
      const auto [end, bad] =
          std::from_chars(piece.format.data(), piece.format.data() + piece.format.size(), digits);
      if (bad != std::errc() || end != piece.format.data() + piece.format.size() || digits < 1 ||
          digits > 18) {
        error = "{index:N} takes a number of digits from 1 to 18";
        return std::nullopt;
      }
    }
    if (piece.field == "date" && colon == std::string::npos) piece.format = "%Y-%m-%d";
    if (piece.field == "date") {
      // Tried on dates with the longest names, so that a format no date can use is refused
      // once, before any work.
      std::tm longest{};
      longest.tm_year = 2024 - 1900;
      longest.tm_mon = 8;  // September
      longest.tm_mday = 25;
      longest.tm_wday = 3;  // Wednesday
      longest.tm_hour = 23;
      try {
        FormatDate(std::tm{}, piece.format);
        FormatDate(longest, piece.format);
      } catch (const std::exception& e) {
        error = e.what();
        return std::nullopt;
      }
    }
    flush();
    result.pieces_.push_back(piece);
    i = close;
  }
  flush();
  if (result.pieces_.empty()) {
    error = "the name template is empty";
    return std::nullopt;
  }
  if (text.back() == '/') {
    error = "the name template ends in \"/\" and names no file";
    return std::nullopt;
  }
  if (text[0] == '/') {
    error = "the name template is an absolute path; names are made inside the destination folder";
    return std::nullopt;
  }
  // A template whose own text climbs out is refused once, not for every file.
  NameFields sample;
  sample.name = "name";
  sample.ext = "ext";
  sample.width = sample.height = 1;
  sample.index = 1;
  sample.dir = "dir";
  sample.date = std::tm{};
  sample.size = "1";
  try {
    result.Expand(sample);
  } catch (const std::exception& e) {
    error = e.what();
    return std::nullopt;
  }
  return result;
}

bool NameTemplate::Uses(const std::string& field) const {
  return std::any_of(pieces_.begin(), pieces_.end(),
                     [&field](const Piece& p) { return p.field == field; });
}

NameTemplate NameTemplate::WithTreeFolder() const {
  if (Uses("dir")) return *this;
  NameTemplate result = *this;
  result.pieces_.insert(result.pieces_.begin(), {Piece{{}, "dir", {}}, Piece{"/", {}, {}}});
  return result;
}

std::string NameTemplate::Expand(const NameFields& fields) const {
  std::string text;
  bool dropSlash = false;  // after an empty {dir}
  for (const Piece& p : pieces_) {
    if (p.field.empty()) {
      text += dropSlash && p.literal[0] == '/' ? p.literal.substr(1) : p.literal;
    } else if (p.field == "name") {
      text += fields.name;
    } else if (p.field == "ext") {
      text += fields.ext;
    } else if (p.field == "width") {
      text += fields.width < 0 ? "{width}" : std::to_string(fields.width);
    } else if (p.field == "height") {
      text += fields.height < 0 ? "{height}" : std::to_string(fields.height);
    } else if (p.field == "index") {
      text += Padded(fields.index, p.format);
    } else if (p.field == "dir") {
      text += fields.dir;
    } else if (p.field == "date") {
      text += fields.date ? FormatDate(*fields.date, p.format) : "unknown-date";
    } else if (p.field == "size") {
      text += fields.size;
    }
    dropSlash = p.field == "dir" && fields.dir.empty();
  }
  if (!text.empty() && text[0] == '/')
    throw FileSystemError(Format("Output name \"%s\" is an absolute path", text.c_str()));
  std::string path;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(start, end - start);
    if (part == "..")
      throw FileSystemError(Format("Output name \"%s\" leaves the destination folder", text.c_str()));
    if (!part.empty() && part != ".") path += (path.empty() ? "" : "/") + part;
    start = end + 1;
  }
  if (path.empty()) throw FileSystemError(Format("Output name \"%s\" names no file", text.c_str()));
  if (!Uses("ext") && !fields.ext.empty()) path += "." + fields.ext;
  return path;
}

}  // namespace tessane::cli
