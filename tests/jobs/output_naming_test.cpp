#include "jobs/output_naming.h"

#include <gtest/gtest.h>

namespace tessane {
namespace {

struct NamingCase {
  const char* source;
  const char* destFolder;
  int outputIndex;
  const char* outputExt;
  const char* defaultFormat;
  int addition;  // 0 prefix, 1 postfix, 2 none
  const char* expected;
};

TEST(OutputNaming, ResizeDestinations) {
  const NamingCase cases[] = {
      // .jpeg becomes .jpg, then the postfix goes before the first dot.
      {"/in/Photo.JPEG", "/out", 0, "", ".jpg", 1, "/out/Photo_t.jpg"},
      // The writable-format test looks at the source's ".jpeg", so the default format wins.
      {"/in/Photo.JPEG", "/out", 0, "", ".png", 2, "/out/Photo.png"},
      {"/in/photo.jpeg", "/out", 0, "", ".bmp", 2, "/out/photo.bmp"},
      // An upper-case writable extension is kept as written.
      {"/in/A.JPG", "/out", 0, "", ".png", 2, "/out/A.JPG"},
      {"/in/my.holiday.png", "/out", 3, ".gif", ".jpg", 1, "/out/my_t.holiday.gif"},
      {"/in/scan.tif", "/out", 0, "", ".png", 0, "/out/_tscan.png"},
      {"/in/scan.tif", "", 0, "", ".png", 0, "/in/_tscan.png"},
      // Default format emptied: the name loses its extension and the postfix goes in front.
      {"/in/scan.tif", "/out", 0, "", "", 1, "/out/_tscan"},
      {"/in/noext", "/out", 0, "", ".png", 2, "/out/noext.png"},
      // A dot in a folder name is no extension.
      {"/in.d/scan", "/out/", 0, "", ".png", 1, "/out/scan_t.png"},
      // ".jp" is a piece of ".jpg" and so counts as writable.
      {"/in/photo.jp", "/out", 0, "", ".png", 2, "/out/photo.jp"},
      {"/in/x.png", "/out", 6, ".jp2", ".jpg", 2, "/out/x.jp2"},
      // WebP and AVIF sources keep their format like every writable one; HEIC takes the default.
      {"/in/x.webp", "/out", 0, "", ".jpg", 2, "/out/x.webp"},
      {"/in/x.avif", "/out", 0, "", ".jpg", 2, "/out/x.avif"},
      {"/in/x.heic", "/out", 0, "", ".jpg", 2, "/out/x.jpg"},
      {"/in/x.jpg", "/out", 7, ".webp", ".jpg", 2, "/out/x.webp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " -> " + c.expected);
    OutputNaming naming;
    naming.dest_folder = c.destFolder;
    naming.output_index = c.outputIndex;
    naming.output_ext = c.outputExt;
    naming.default_format = c.defaultFormat;
    naming.addition = c.addition;
    naming.addition_text = "_t";
    EXPECT_EQ(ResizeOutputPath(c.source, naming), c.expected);
  }
}

TEST(OutputNaming, CopyDestinations) {
  EXPECT_EQ(CopyOutputPath("/in/my.photo.JPEG", "/out"), "/out/my.photo.JPEG");
  EXPECT_EQ(CopyOutputPath("/in/a.jpg", "/out/"), "/out/a.jpg");
  EXPECT_EQ(CopyOutputPath("/in/a.jpg", ""), "/in/a.jpg");
}

}  // namespace
}  // namespace tessane
