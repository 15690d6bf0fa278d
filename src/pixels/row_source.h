#pragma once
// RowSource: a picture handed out one row at a time, top to bottom, for a reader that does not
// need the whole bitmap at once (scaling a large picture down keeps only a band of its rows).

#include <cstdint>

#include "pixels/argb32.h"

namespace tessane {

class RowSource {
 public:
  virtual ~RowSource() = default;

  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  /// Row y (Width() pixels), for a y below Height() and above every row asked for before. The
  /// pointer stays valid until the next call. Errors of the data throw.
  virtual const Argb32* NextRow(int32_t y) = 0;
  /// Reads what the reader did not ask for, so that damage at the end of the data is reported
  /// just as a reading of the whole picture would report it.
  virtual void Finish() = 0;

 protected:
  RowSource() = default;
  RowSource(const RowSource&) = default;
  RowSource& operator=(const RowSource&) = default;
};

}  // namespace tessane
