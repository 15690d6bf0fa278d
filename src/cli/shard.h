#pragma once
// --shard K/N: one machine's share of a batch, chosen without a coordinator. A file belongs to
// shard 1 + FNV-1a-64(key) mod N, where the key is its path relative to the folder argument it
// was found in, or its file name when it was given itself; so machines that mount the same
// files under different folders agree on every file's shard.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessane::cli {

struct Shard {
  uint32_t index = 1;  // K, from 1
  uint32_t count = 1;  // N
  bool Owns(std::string_view key) const;
};

/// "K/N" with 1 <= K <= N; nothing for anything else.
std::optional<Shard> ParseShard(const std::string& text);

/// FNV-1a, 64 bits, over the bytes of the text.
uint64_t Fnv1a64(std::string_view text);

}  // namespace tessane::cli
