#pragma once
// Error types. Every failure is an exception carrying a fixed English message; the class tells
// callers (and the window's error box) which family the failure belongs to.

#include <stdexcept>
#include <string>

namespace tessane {

/// Root of every error the program raises itself.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

#define TESSANE_DECLARE_ERROR(Name, Base) \
  class Name : public Base {              \
   public:                                \
    using Base::Base;                     \
  };

TESSANE_DECLARE_ERROR(StreamError, Exception)
TESSANE_DECLARE_ERROR(StreamReadError, StreamError)      // "Stream read error"
TESSANE_DECLARE_ERROR(StreamWriteError, StreamError)     // "Stream write error"
TESSANE_DECLARE_ERROR(FileOpenError, StreamError)     // "Cannot open file "%s". %s"
TESSANE_DECLARE_ERROR(FileCreateError, StreamError)   // "Cannot create file "%s". %s"
TESSANE_DECLARE_ERROR(FileSystemError, Exception)        // file-system failures of the jobs
TESSANE_DECLARE_ERROR(SystemError, Exception)           // "System Error.  Code: %d.\r\n%s"
TESSANE_DECLARE_ERROR(ConversionError, Exception)      // "Cannot assign a %s to a %s"
TESSANE_DECLARE_ERROR(ListIndexError, Exception)         // "List index out of bounds (%d)"
TESSANE_DECLARE_ERROR(ThreadError, Exception)            // "Thread creation error: %s", CheckSynchronize
TESSANE_DECLARE_ERROR(OutOfResourcesError, Exception)    // platform allocation failures
TESSANE_DECLARE_ERROR(IntegerError, Exception)
TESSANE_DECLARE_ERROR(DivisionByZeroError, IntegerError)         // "Division by zero"
TESSANE_DECLARE_ERROR(IntegerOverflowError, IntegerError)       // "Arithmetic overflow"
TESSANE_DECLARE_ERROR(MathError, Exception)
TESSANE_DECLARE_ERROR(FloatDivisionByZeroError, MathError)       // "Floating point division by zero"
TESSANE_DECLARE_ERROR(InvalidImageError, Exception)    // a file that is not what its class expects
TESSANE_DECLARE_ERROR(InvalidImageOperationError, Exception)
TESSANE_DECLARE_ERROR(AssertionFailedError, Exception)   // "Assertion failure"
TESSANE_DECLARE_ERROR(AbortError, Exception)             // "Interrupted": a run was stopped

/// printf-style formatting into a std::string, for the messages with %s / %d fields.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

/// The system's text for an errno value ("No such file or directory").
std::string SysErrorMessage(int code);

}  // namespace tessane
