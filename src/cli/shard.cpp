#include "cli/shard.h"

#include <charconv>

namespace tessane::cli {

uint64_t Fnv1a64(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

bool Shard::Owns(std::string_view key) const {
  return Fnv1a64(key) % count == index - 1;
}

std::optional<Shard> ParseShard(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  auto number = [](std::string_view part) -> std::optional<uint32_t> {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || error != std::errc() || end != part.data() + part.size())
      return std::nullopt;
    return value;
  };
  const auto k = number(std::string_view(text).substr(0, slash));
  const auto n = number(std::string_view(text).substr(slash + 1));
  if (!k || !n || *k < 1 || *k > *n) return std::nullopt;
  return Shard{*k, *n};
}

}  // namespace tessane::cli
