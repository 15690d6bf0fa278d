// Byte-order loads and stores, and the bounds of ByteView.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "base/byte_order.h"
#include "base/byte_view.h"

namespace tessane {
namespace {

TEST(ByteOrder, LoadsAndStoresEachOrder) {
  const uint8_t bytes[8] = {0x81, 0x02, 0x73, 0xF4, 0x05, 0x06, 0x07, 0x08};
  EXPECT_EQ(LoadLe16(bytes), 0x0281u);
  EXPECT_EQ(LoadBe16(bytes), 0x8102u);
  EXPECT_EQ(LoadLe32(bytes), 0xF4730281u);
  EXPECT_EQ(LoadBe32(bytes), 0x810273F4u);
  EXPECT_EQ(LoadBe64(bytes), 0x810273F405060708u);

  uint8_t out[4] = {};
  StoreLe16(out, 0x0281);
  EXPECT_EQ(LoadLe16(out), 0x0281u);
  StoreBe16(out, 0x8102);
  EXPECT_EQ(LoadLe16(out), 0x0281u);
  StoreLe32(out, 0xF4730281u);
  EXPECT_EQ(LoadBe32(out), 0x810273F4u);
  StoreBe32(out, 0x810273F4u);
  EXPECT_EQ(LoadLe32(out), 0xF4730281u);
}

TEST(ByteView, ReadsInsideAndRefusesEverythingOutside) {
  const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6};
  const ByteView view(bytes.data(), bytes.size());
  EXPECT_EQ(view.U32(2), 0x06050403u);
  EXPECT_EQ(view.U16Be(4), 0x0506u);
  EXPECT_EQ(view.Sub(2, 4).U8(3), 6);
  EXPECT_EQ(view.From(6).Size(), 0u);
  EXPECT_EQ(view.From(99).Size(), 0u);

  const size_t huge = std::numeric_limits<size_t>::max();
  EXPECT_TRUE(view.Has(6, 0));
  EXPECT_FALSE(view.Has(7, 0));
  EXPECT_FALSE(view.Has(1, huge));  // no wrap-around
  EXPECT_TRUE(view.HasArray(2, 2, 2));
  EXPECT_FALSE(view.HasArray(2, 3, 2));
  EXPECT_FALSE(view.HasArray(0, uint64_t{1} << 62, 8));

  // A read past the end fails like a short stream, so a reader that lets it through fails the
  // file with the usual message.
  try {
    view.U32(3);
    ADD_FAILURE() << "read past the end";
  } catch (const StreamReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  EXPECT_THROW(view.U16(huge), ByteRangeError);
  EXPECT_THROW(view.Sub(4, 3), ByteRangeError);
  EXPECT_THROW(ByteView().U8(0), ByteRangeError);
}

}  // namespace
}  // namespace tessane
