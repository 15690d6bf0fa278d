#include "formats/heif/heif_canvas.h"

#include <algorithm>
#include <map>
#include <optional>
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
  uint32_t primary = 0;
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

// Reads bits most significant first; past the end it gives zeros and says so.
class BitReader {
 public:
  explicit BitReader(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  // At most 32 bits: a longer field is skipped.
  uint32_t Bits(int n) {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i, ++at_) {
      const size_t byte = at_ / 8;
      if (byte >= bytes_.size()) {
        overrun_ = true;
        return 0;
      }
      value = value << 1 | ((bytes_[byte] >> (7 - at_ % 8)) & 1u);
    }
    return value;
  }
  void Skip(size_t n) {
    at_ += n;
    if ((at_ + 7) / 8 > bytes_.size()) overrun_ = true;
  }
  // Exp-Golomb, as HEVC codes its sizes.
  uint32_t Ue() {
    int zeros = 0;
    while (Bits(1) == 0 && !overrun_ && zeros < 32) ++zeros;
    if (zeros >= 32) {
      overrun_ = true;
      return 0;
    }
    return (uint32_t{1} << zeros) - 1 + Bits(zeros);
  }
  bool Overrun() const { return overrun_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t at_ = 0;
  bool overrun_ = false;
};

struct CodedSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

// The luma size of an HEVC sequence parameter set (NAL unit without its start code).
std::optional<CodedSize> HevcSpsSize(ByteView nal) {
  std::vector<uint8_t> rbsp;  // without emulation prevention bytes
  for (size_t i = 2; i < nal.Size() && rbsp.size() < 256; ++i) {
    if (rbsp.size() >= 2 && rbsp[rbsp.size() - 1] == 0 && rbsp[rbsp.size() - 2] == 0 &&
        nal.U8(i) == 3)
      continue;
    rbsp.push_back(nal.U8(i));
  }
  BitReader in(std::move(rbsp));
  in.Bits(4);
  const uint32_t sub_layers = in.Bits(3);
  in.Bits(1);
  in.Skip(88);  // general profile
  in.Bits(8);   // general level
  std::vector<std::pair<bool, bool>> present(sub_layers);
  for (auto& [profile, level] : present) {
    profile = in.Bits(1) != 0;
    level = in.Bits(1) != 0;
  }
  if (sub_layers > 0)
    for (uint32_t i = sub_layers; i < 8; ++i) in.Bits(2);
  for (const auto& [profile, level] : present) {
    if (profile) in.Skip(88);
    if (level) in.Bits(8);
  }
  in.Ue();                       // parameter set id
  if (in.Ue() == 3) in.Bits(1);  // 4:4:4 with separate planes
  CodedSize size;
  size.width = in.Ue();
  size.height = in.Ue();
  if (in.Overrun()) return std::nullopt;
  return size;
}

// The largest frame an AV1 sequence header allows (an OBU with its header).
std::optional<CodedSize> Av1SequenceSize(ByteView obus) {
  size_t at = 0;
  while (at < obus.Size()) {
    const uint8_t header = obus.U8(at);
    const unsigned type = header >> 3 & 15u;
    size_t pos = at + 1 + ((header & 4u) ? 1 : 0);
    uint64_t size = obus.Size() - pos;
    if (header & 2u) {  // a LEB128 size follows
      size = 0;
      for (int i = 0; i < 8; ++i) {
        const uint8_t b = obus.U8(pos++);
        size |= uint64_t{b & 0x7Fu} << (7 * i);
        if ((b & 0x80u) == 0) break;
      }
    }
    if (type != 1) {
      if (size > obus.Size() - std::min(pos, obus.Size())) return std::nullopt;
      at = pos + static_cast<size_t>(size);
      continue;
    }
    const size_t take = static_cast<size_t>(std::min<uint64_t>(size, obus.Size() - pos));
    BitReader in(std::vector<uint8_t>(obus.Data() + pos, obus.Data() + pos + take));
    in.Bits(3);             // profile
    in.Bits(1);             // still picture
    if (in.Bits(1) != 0) {  // reduced still picture header
      in.Bits(5);
    } else {
      unsigned delay_bits = 0;
      const bool timing = in.Bits(1) != 0;
      bool decoder_model = false;
      if (timing) {
        in.Bits(32);
        in.Bits(32);
        if (in.Bits(1) != 0) {  // equal picture interval: uvlc
          int zeros = 0;
          while (in.Bits(1) == 0 && !in.Overrun() && zeros < 32) ++zeros;
          in.Bits(zeros);
        }
        decoder_model = in.Bits(1) != 0;
        if (decoder_model) {
          delay_bits = in.Bits(5) + 1;
          in.Bits(32);
          in.Bits(10);
        }
      }
      const bool display_delay = in.Bits(1) != 0;
      const uint32_t points = in.Bits(5) + 1;
      for (uint32_t i = 0; i < points && !in.Overrun(); ++i) {
        in.Bits(12);
        if (in.Bits(5) > 7) in.Bits(1);
        if (decoder_model && in.Bits(1) != 0) {
          in.Bits(static_cast<int>(delay_bits));
          in.Bits(static_cast<int>(delay_bits));
          in.Bits(1);
        }
        if (display_delay && in.Bits(1) != 0) in.Bits(4);
      }
    }
    const int width_bits = static_cast<int>(in.Bits(4)) + 1;
    const int height_bits = static_cast<int>(in.Bits(4)) + 1;
    CodedSize coded;
    coded.width = in.Bits(width_bits) + 1;
    coded.height = in.Bits(height_bits) + 1;
    if (in.Overrun()) return std::nullopt;
    return coded;
  }
  return std::nullopt;
}

// The coded frame size of a coded item, from its decoder configuration or, for AV1 without a
// sequence header there, from the start of its data.
std::optional<CodedSize> CodedSizeOf(ByteView file, const Meta& meta, uint32_t id, uint32_t type,
                                     ByteView config) {
  if (type == FourCc("hvc1")) {
    if (config.Size() < 23) return std::nullopt;
    size_t at = 23;
    const uint8_t arrays = config.U8(22);
    for (uint8_t a = 0; a < arrays; ++a) {
      const uint8_t nal_type = config.U8(at) & 0x3Fu;
      const uint16_t count = config.U16Be(at + 1);
      at += 3;
      for (uint16_t n = 0; n < count; ++n) {
        const uint16_t length = config.U16Be(at);
        if (nal_type == 33) return HevcSpsSize(config.Sub(at + 2, length));
        at += 2 + size_t{length};
      }
    }
    return std::nullopt;
  }
  if (config.Size() > 4) {
    if (auto size = Av1SequenceSize(config.From(4))) return size;
  }
  const auto location = meta.locations.find(id);
  if (location == meta.locations.end()) return std::nullopt;
  const std::vector<uint8_t> head = ItemHead(file, meta, location->second, 512);
  return Av1SequenceSize(ByteView(head.data(), head.size()));
}

// A coded picture whose frame exceeds its declared size (beyond the coding blocks' padding)
// would make the decoder allocate what the header never announced.
std::string CheckCodedItem(ByteView file, const Meta& meta, uint32_t id, uint32_t type) {
  const auto associated = meta.associations.find(id);
  if (associated == meta.associations.end()) return {};
  std::optional<CodedSize> declared;
  ByteView config;
  const uint32_t config_type = type == FourCc("hvc1") ? FourCc("hvcC") : FourCc("av1C");
  for (const uint16_t index : associated->second) {
    if (index == 0 || index > meta.properties.size()) continue;
    const auto& [property, content] = meta.properties[index - 1];
    if (property == FourCc("ispe")) declared = CodedSize{content.U32Be(4), content.U32Be(8)};
    if (property == config_type) config = content;
  }
  if (!declared) return {};  // libheif refuses a coded picture without one
  const std::optional<CodedSize> coded = CodedSizeOf(file, meta, id, type, config);
  if (!coded) return {};
  constexpr uint64_t kPadding = 64;  // the largest coding block
  if (coded->width > declared->width + kPadding || coded->height > declared->height + kPadding) {
    return Format("coded frame of %u x %u pixels exceeds the declared %u x %u", coded->width,
                  coded->height, declared->width, declared->height);
  }
  return {};
}

Meta ReadMeta(ByteView file) {
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
      else if (child == FourCc("pitm") && content.Has(0, 6))
        meta.primary = content.U8(0) == 0  ? content.U16Be(4)
                       : content.Has(0, 8) ? content.U32Be(4)
                                           : 0;
    });
  });
  return meta;
}

}  // namespace

std::string CheckDerivedCanvases(const uint8_t* data, size_t size) {
  const ByteView file(data, size);
  const Meta meta = ReadMeta(file);
  for (const auto& [id, type] : meta.types) {
    if (type == FourCc("hvc1") || type == FourCc("av01")) {
      try {
        if (std::string problem = CheckCodedItem(file, meta, id, type); !problem.empty())
          return problem;
      } catch (const ByteRangeError&) {
        // A damaged configuration is libheif's to refuse.
      }
      continue;
    }
    if (type != FourCc("grid") && type != FourCc("iovl")) continue;
    try {
      if (std::string problem = CheckItem(file, meta, id, type); !problem.empty()) return problem;
    } catch (const ByteRangeError&) {
      return Format("%s with a damaged size property", type == FourCc("grid") ? "grid" : "overlay");
    }
  }
  return {};
}

bool DeclaredPrimarySize(const uint8_t* data, size_t size, int64_t& width, int64_t& height) {
  const ByteView file(data, size);
  const Meta meta = ReadMeta(file);
  const auto associated = meta.associations.find(meta.primary);
  if (associated == meta.associations.end()) return false;
  bool found = false;
  bool turned = false;
  for (const uint16_t index : associated->second) {
    if (index == 0 || index > meta.properties.size()) continue;
    const auto& [property, content] = meta.properties[index - 1];
    if (property == FourCc("ispe") && content.Has(0, 12)) {
      width = content.U32Be(4);
      height = content.U32Be(8);
      found = true;
    } else if (property == FourCc("irot") && content.Has(0, 1)) {
      turned = (content.U8(0) & 1u) != 0;
    }
  }
  if (found && turned) std::swap(width, height);
  return found;
}

}  // namespace tessane
