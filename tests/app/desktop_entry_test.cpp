#include "app/desktop_entry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "base/paths.h"
#include "support/test_support.h"

namespace tessane {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The value of `key` in a desktop entry text, or nothing.
std::optional<std::string> Value(const std::string& text, const std::string& key) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(key + "=")) return line.substr(key.size() + 1);
  return std::nullopt;
}

// Points XDG_DATA_HOME and HOME into a temporary folder for one test and restores them after.
class DesktopEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"XDG_DATA_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    ::setenv("HOME", dir_.File("home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }

  test::TempDir dir_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(DesktopEntry, CreateRewriteAndDeleteLikeALink) {
  const std::string folder = dir_.File("data/applications");
  EXPECT_EQ(SendToLinkPath(), folder + "/tessane.desktop");
  EXPECT_FALSE(SendToLinkExists());

  CreateSendToLink("/opt/tessane/bin/tessane");  // the folder does not exist yet
  ASSERT_TRUE(SendToLinkExists());
  std::string text = ReadText(SendToLinkPath());
  EXPECT_TRUE(text.starts_with("[Desktop Entry]\n"));
  EXPECT_EQ(Value(text, "Type"), "Application");
  EXPECT_EQ(Value(text, "Name"), "Tessane");
  EXPECT_EQ(Value(text, "Exec"), "/opt/tessane/bin/tessane %F");
  EXPECT_EQ(Value(text, "Path"), "/opt/tessane/bin/");
  const std::string mime = Value(text, "MimeType").value_or("");
  for (const char* type :
       {"image/jpeg;", "image/png;", "image/gif;", "image/bmp;", "image/tiff;", "image/jp2;",
        "image/heif;", "image/avif;", "image/webp;", "image/jxl;", "inode/directory;"})
    EXPECT_NE(mime.find(type), std::string::npos) << type;

  // The program moved: the next start rewrites the entry in place.
  CreateSendToLink("/home/u/new place/tessane");
  text = ReadText(SendToLinkPath());
  EXPECT_EQ(Value(text, "Exec"), "\"/home/u/new place/tessane\" %F");
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u) << "a temporary file was left behind";

  DeleteSendToLink();
  EXPECT_FALSE(SendToLinkExists());
  DeleteSendToLink();  // already gone: nothing happens
  EXPECT_FALSE(SendToLinkExists());
}

TEST_F(DesktopEntry, ExecQuotesAndEscapesThePath) {
  const struct {
    const char* program;
    const char* exec;
  } cases[] = {
      {"/usr/bin/tessane", "/usr/bin/tessane %F"},
      {"/a b/tessane", "\"/a b/tessane\" %F"},
      {"/x/100%/tessane", "/x/100%%/tessane %F"},
      // Quoting escapes '"', '$' and '\' with a backslash; the value escape then doubles it.
      {"/x/a\"b$c/tessane", "\"/x/a\\\\\"b\\\\$c/tessane\" %F"},
      {"/x/back\\slash/tessane", "\"/x/back\\\\\\\\slash/tessane\" %F"},
      {"/x/new\nline/tessane", "\"/x/new\\nline/tessane\" %F"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Value(DesktopEntryText(c.program), "Exec"), c.exec) << c.program;
  // A relative program path is made absolute before it is written.
  CreateSendToLink("bin/tessane");
  EXPECT_EQ(Value(ReadText(SendToLinkPath()), "Exec"), ExpandFileName("bin/tessane") + " %F");
}

TEST_F(DesktopEntry, DataHomeFallsBackToTheHomeFolder) {
  for (const char* value : {"", "relative/data"}) {
    ::setenv("XDG_DATA_HOME", value, 1);
    EXPECT_EQ(SendToLinkPath(), dir_.File("home/.local/share/applications/tessane.desktop"));
  }
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(SendToLinkPath(), dir_.File("home/.local/share/applications/tessane.desktop"));
}

TEST_F(DesktopEntry, FailuresAreSilentAndChangeNothing) {
  // The data folder lies below a regular file, so no folder can be made there.
  test::WriteBytes(dir_.File("blocker"), {1});
  ::setenv("XDG_DATA_HOME", dir_.File("blocker/data").c_str(), 1);
  EXPECT_NO_THROW(CreateSendToLink("/usr/bin/tessane"));
  EXPECT_FALSE(SendToLinkExists());
  EXPECT_NO_THROW(DeleteSendToLink());
  EXPECT_EQ(test::ReadBytes(dir_.File("blocker")), std::vector<uint8_t>{1});

  // A folder where the entry would go is neither replaced nor deleted.
  ::setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
  fs::create_directories(SendToLinkPath());
  EXPECT_NO_THROW(CreateSendToLink("/usr/bin/tessane"));
  EXPECT_NO_THROW(DeleteSendToLink());
  EXPECT_TRUE(fs::is_directory(SendToLinkPath()));
  EXPECT_FALSE(SendToLinkExists());
}

// Earlier versions named the entry Tessane.desktop: it counts as the link, and the check box's
// actions replace or remove it, so the user never ends up with two entries.
TEST_F(DesktopEntry, EntryUnderTheOldNameIsTakenOver) {
  const std::string legacy = dir_.File("data/applications/Tessane.desktop");
  EXPECT_EQ(LegacySendToLinkPath(), legacy);
  const auto writeLegacy = [&] {
    fs::create_directories(dir_.File("data/applications"));
    test::WriteBytes(legacy, {'x'});
  };

  writeLegacy();
  EXPECT_TRUE(SendToLinkExists());
  CreateSendToLink("/usr/bin/tessane");  // what the start-up does when the link exists
  EXPECT_FALSE(fs::exists(legacy));
  EXPECT_EQ(Value(ReadText(SendToLinkPath()), "Exec"), "/usr/bin/tessane %F");
  EXPECT_TRUE(SendToLinkExists());

  writeLegacy();
  DeleteSendToLink();
  EXPECT_FALSE(fs::exists(legacy));
  EXPECT_FALSE(fs::exists(SendToLinkPath()));
  EXPECT_FALSE(SendToLinkExists());

  // Only the old entry there: unchecking removes it too.
  writeLegacy();
  DeleteSendToLink();
  EXPECT_FALSE(SendToLinkExists());
}

TEST(DesktopEntryFile, InstalledLauncherMatchesTheRegistry) {
  const std::string text = InstalledDesktopEntryText();
  EXPECT_TRUE(text.starts_with("[Desktop Entry]\n"));
  EXPECT_EQ(Value(text, "Name"), "Tessane");
  EXPECT_EQ(Value(text, "Exec"), "tessane %F");
  EXPECT_EQ(Value(text, "Path"), std::nullopt);
  EXPECT_EQ(Value(text, "Icon"), "tessane");
  EXPECT_EQ(Value(text, "Categories"), "Graphics;");
  EXPECT_EQ(Value(text, "MimeType"), DesktopEntryMimeTypes());
  // The per-user entry is the same launcher apart from where the program lies.
  std::string user = DesktopEntryText("/usr/bin/tessane");
  user.erase(user.find("Path=/usr/bin/\n"), std::string("Path=/usr/bin/\n").size());
  EXPECT_EQ(user, InstalledDesktopEntryText().replace(text.find("Exec=tessane"),
                                                      std::string("Exec=tessane").size(),
                                                      "Exec=/usr/bin/tessane"));
}

}  // namespace
}  // namespace tessane
