#pragma once
// The figures of the window's memory display: the process's resident set and its peak.

#include <cstdint>
#include <string>

namespace tessane {

/// Where the kernel reports the calling process's status.
inline constexpr const char* kProcSelfStatus = "/proc/self/status";

/// Resident set size (VmRSS) of the process, in bytes. Raises SystemError "System Error.  Code: %d.
/// \r\n%s" when the status cannot be read (errno and its text; code 0 with "A call to an OS
/// function failed" when the figure is missing or malformed).
uint64_t GetMemoryUsage(const std::string& statusPath = kProcSelfStatus);

/// Peak resident set size (VmHWM) of the process, in bytes; fails like GetMemoryUsage.
uint64_t GetPeakMemoryUsage(const std::string& statusPath = kProcSelfStatus);

}  // namespace tessane
