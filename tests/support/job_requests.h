#pragma once
// Requests for one file's resize job, as the tests make them.

#include <string>
#include <utility>

#include "jobs/requests.h"

namespace tessane::test {

/// Lanczos3, the largest side to `size`, nothing else set.
inline ResizeRequest Request(std::string source, std::string dest, int32_t size) {
  ResizeRequest request;
  request.source_name = std::move(source);
  request.dest_name = std::move(dest);
  request.size = size;
  return request;
}

}  // namespace tessane::test
