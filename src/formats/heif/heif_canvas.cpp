#include "formats/heif/heif_canvas.h"

#include <algorithm>
#include <map>
#include <vector>

#include "base/byte_view.h"
#include "base/errors.h"
#include "base/limits.h"

namespace tessane {

namespace {

constexpr uint32_t FourCc(const char (&name)[5]) {
  return uint32_t{static_cast<uint8_t>(name[0])} << 24 |
         uint32_t{static_cast<uint8_t>(name[1])} << 16 |
         uint32_t{static_cast<uint8_t>(name[2])} << 8 | uint32_t{static_cast<uint8_t>(name[3])};
}

// Reads big-endian fields one after the other; reads past the end throw ByteRangeError.
class Cursor {
 public:
  explicit Cursor(ByteView view, size_t at = 0) : view_(view), at_(at) {}
  uint8_t U8() { return view_.U8(Advance(1)); }
  uint16_t U16() { return view_.U16Be(Advance(2)); }
  uint32_t U32() { return view_.U32Be(Advance(4)); }
  /// A field of as many bytes as the item locations give theirs (0, 4 or 8, though libheif
  /// takes other sizes too).
  uint64_t Sized(unsigned bytes) {
    if (bytes > 8) throw ByteRangeError();
    uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i) value = value << 8 | U8();
    return value;
  }

 private:
  size_t Advance(size_t n) {
    const size_t at = at_;
    at_ += n;
    return at;
  }
  ByteView view_;
  size_t at_;
};

// Calls visit(type, body) for each box in the view, up to the first one that does not fit.
template <class Visit>
void ForEachBox(ByteView view, Visit&& visit) {
  size_t at = 0;
  while (view.Has(at, 8)) {
    uint64_t size = view.U32Be(at);
    const uint32_t type = view.U32Be(at + 4);
    size_t header = 8;
    if (size == 1) {
      if (!view.Has(at, 16)) return;
      size = uint64_t{view.U32Be(at + 8)} << 32 | view.U32Be(at + 12);
      header = 16;
    } else if (size == 0) {
      size = view.Size() - at;
    }
    if (size < header || size > view.Size() - at) return;
    visit(type, view.Sub(at + header, static_cast<size_t>(size) - header));
    at += static_cast<size_t>(size);
  }
}

struct Extent {
  uint64_t offset;
  uint64_t length;  // 0: to the end of the data
};

struct Location {
  unsigned method = 0;  // 0: in the file, 1: in the 'idat' box
  uint64_t base = 0;
  std::vector<Extent> extents;
};

struct Meta {
  std::map<uint32_t, uint32_t> types;  // item id -> item type
  std::map<uint32_t, Location> locations;
  ByteView idat;
  std::vector<std::pair<uint32_t, ByteView>> properties;  // 'ipco' children, in order
  std::map<uint32_t, std::vector<uint16_t>> associations;  // item id -> 1-based property indexes
};

void ReadItemInfos(ByteView body, Meta& meta) {
  const size_t first = body.U8(0) == 0 ? 6 : 8;  // after the entry count
  ForEachBox(body.From(first), [&](uint32_t type, ByteView entry) {
    if (type != FourCc("infe")) return;
    try {
      Cursor in(entry);
      const uint8_t version = in.U8();
      if (version < 2) return;  // these carry no item type
      in.U8();
      in.U16();
      const uint32_t id = version == 2 ? in.U16() : in.U32();
      in.U16();  // protection index
      meta.types.emplace(id, in.U32());
    } catch (const ByteRangeError&) {
    }
  });
}

void ReadLocations(ByteView body, Meta& meta) {
  Cursor in(body);
  const uint8_t version = in.U8();
  if (version > 2) return;
  in.U8();
  in.U16();
  const uint8_t sizes = in.U8();
  const uint8_t more_sizes = in.U8();
  const unsigned offset_size = sizes >> 4, length_size = sizes & 15u;
  const unsigned base_size = more_sizes >> 4, index_size = version > 0 ? more_sizes & 15u : 0;
  const uint32_t count = version < 2 ? in.U16() : in.U32();
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t id = version < 2 ? in.U16() : in.U32();
    Location location;
    if (version > 0) location.method = in.U16() & 15u;
    in.U16();  // data reference
    location.base = in.Sized(base_size);
    uint16_t extents = in.U16();
    // Extents of no bytes at all are all alike: one stands for them, and a few bytes cannot ask
    // for billions of them.
    if (offset_size + length_size + index_size == 0) extents = std::min<uint16_t>(extents, 1);
    for (uint16_t e = 0; e < extents; ++e) {
      in.Sized(index_size);
      const uint64_t offset = in.Sized(offset_size);
      const uint64_t length = in.Sized(length_size);
      location.extents.push_back({offset, length});
    }
    meta.locations.emplace(id, std::move(location));
  }
}

void ReadProperties(ByteView body, Meta& meta) {
  ForEachBox(body, [&](uint32_t type, ByteView child) {
    if (type == FourCc("ipco")) {
      ForEachBox(child, [&](uint32_t property, ByteView content) {
        meta.properties.emplace_back(property, content);
      });
    } else if (type == FourCc("ipma")) {
      Cursor in(child);
      const uint8_t version = in.U8();
      in.U8();
      in.U8();
      const bool wide = (in.U8() & 1u) != 0;
      const uint32_t count = in.U32();
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t id = version < 1 ? in.U16() : in.U32();
        std::vector<uint16_t>& indexes = meta.associations[id];
        for (uint8_t n = in.U8(); n > 0; --n)
          indexes.push_back(wide ? in.U16() & 0x7FFFu : in.U8() & 0x7Fu);
      }
    }
  });
}

// The first bytes of an item's data, as many as `wanted` where the data has them.
std::vector<uint8_t> ItemHead(ByteView file, const Meta& meta, const Location& location,
                              size_t wanted) {
  std::vector<uint8_t> head;
  const ByteView source = location.method == 0 ? file : location.method == 1 ? meta.idat : ByteView();
  for (const Extent& extent : location.extents) {
    if (head.size() >= wanted || location.base > source.Size() ||
        extent.offset > source.Size() - location.base)
      break;
    const size_t at = static_cast<size_t>(location.base + extent.offset);
    const size_t available = source.Size() - at;
    const size_t length =
        extent.length == 0 ? available : static_cast<size_t>(std::min<uint64_t>(extent.length, available));
    const size_t take = std::min(length, wanted - head.size());
    head.insert(head.end(), source.Data() + at, source.Data() + at + take);
    if (length < extent.length) break;
  }
  return head;
}

std::string Describe(const char* what, uint64_t width, uint64_t height, const char* tail) {
  return Format("%s canvas of %llu x %llu pixels %s", what, static_cast<unsigned long long>(width),
                static_cast<unsigned long long>(height), tail);
}

std::string CheckItem(ByteView file, const Meta& meta, uint32_t id, uint32_t type) {
  const bool grid = type == FourCc("grid");
  const char* what = grid ? "grid" : "overlay";
  // A canvas that cannot be read here is refused: libheif might read it otherwise.
  const std::string unreadable = Format("%s without a readable canvas size", what);
  const auto location = meta.locations.find(id);
  if (location == meta.locations.end()) return unreadable;
  // A grid: version, flags, rows and columns; an overlay: version, flags, four fill values.
  const size_t sides_at = grid ? 4 : 10;
  const std::vector<uint8_t> head = ItemHead(file, meta, location->second, sides_at + 8);
  if (head.size() < sides_at + (head.size() >= 2 && (head[1] & 1u) != 0 ? 8 : 4)) return unreadable;
  const ByteView data(head.data(), head.size());
  Cursor in(data, sides_at);
  const bool wide = (data.U8(1) & 1u) != 0;
  const uint64_t width = wide ? in.U32() : in.U16();
  const uint64_t height = wide ? in.U32() : in.U16();
  if (!PictureSizeAllowed(static_cast<int64_t>(width), static_cast<int64_t>(height)))
    return Describe(what, width, height, "is too large");

  const auto associated = meta.associations.find(id);
  if (associated != meta.associations.end()) {
    for (const uint16_t index : associated->second) {
      if (index == 0 || index > meta.properties.size()) continue;
      const auto& [property, content] = meta.properties[index - 1];
      if (property != FourCc("ispe")) continue;
      const uint32_t declared_width = content.U32Be(4), declared_height = content.U32Be(8);
      if (width > declared_width || height > declared_height) {
        return Describe(what, width, height,
                        Format("exceeds the declared %u x %u", declared_width, declared_height)
                            .c_str());
      }
      return {};
    }
  }
  return Describe(what, width, height, "has no declared size");
}

}  // namespace

std::string CheckDerivedCanvases(const uint8_t* data, size_t size) {
  const ByteView file(data, size);
  Meta meta;
  bool found = false;
  // Each box is read as far as it goes: what a damaged box still names is checked all the same.
  auto read = [&](auto&& reader, ByteView content) {
    try {
      reader(content, meta);
    } catch (const ByteRangeError&) {
    }
  };
  ForEachBox(file, [&](uint32_t type, ByteView body) {
    if (found || type != FourCc("meta")) return;
    found = true;
    ForEachBox(body.From(4), [&](uint32_t child, ByteView content) {
      if (child == FourCc("iinf")) read(ReadItemInfos, content);
      else if (child == FourCc("iloc")) read(ReadLocations, content);
      else if (child == FourCc("idat")) meta.idat = content;
      else if (child == FourCc("iprp")) read(ReadProperties, content);
    });
  });
  for (const auto& [id, type] : meta.types) {
    if (type != FourCc("grid") && type != FourCc("iovl")) continue;
    try {
      if (std::string problem = CheckItem(file, meta, id, type); !problem.empty()) return problem;
    } catch (const ByteRangeError&) {
      return Format("%s with a damaged size property", type == FourCc("grid") ? "grid" : "overlay");
    }
  }
  return {};
}

}  // namespace tessane
