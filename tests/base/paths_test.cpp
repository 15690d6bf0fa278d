#include "base/paths.h"

#include <gtest/gtest.h>

namespace tessane {
namespace {

struct PathCase {
  const char* path;
  const char* name;
  const char* folder;
  const char* ext;
};

TEST(PathTerms, SplitIntoFolderNameAndExtension) {
  const PathCase cases[] = {
      {"/in/Photo.JPEG", "Photo.JPEG", "/in/", ".JPEG"},
      {"/in/my.holiday.png", "my.holiday.png", "/in/", ".png"},
      {"/in.d/noext", "noext", "/in.d/", ""},
      {"name.", "name.", "", "."},
      {"/a/.hidden", ".hidden", "/a/", ".hidden"},
      {"/", "", "/", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
    EXPECT_EQ(ExtractFilePath(c.path), c.folder);
    EXPECT_EQ(ExtractFileExt(c.path), c.ext);
  }
}

TEST(PathTerms, ChangeExtensionCutsAtTheLastDotOfTheName) {
  EXPECT_EQ(ChangeFileExt("/in/a.b.jpg", ".png"), "/in/a.b.png");
  EXPECT_EQ(ChangeFileExt("/in.d/noext", ".png"), "/in.d/noext.png");
  EXPECT_EQ(ChangeFileExt("/in/scan.tif", ""), "/in/scan");
}

TEST(PathTerms, LowerCasingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(LowerCaseAscii("PHOTO.JPG"), "photo.jpg");
  EXPECT_EQ(LowerCaseAscii("\xC3\x89T\xC3\x89"), "\xC3\x89t\xC3\x89");
}

TEST(PathTerms, EmptyNeedleIsNeverFound) {
  EXPECT_FALSE(ContainsText("abc", ""));
  EXPECT_TRUE(ContainsText("*.jpg;*.png", ".jp"));
}

}  // namespace
}  // namespace tessane
