// The resize job end to end: real files in, real files out.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <thread>

#include "base/errors.h"
#include "base/stream.h"
#include "cli/exif_fixture.h"
#include "formats/bmp/dib_image.h"
#include "formats/format_registry.h"
#include "formats/jpeg/jpeg_graphic.h"
#include "formats/picture.h"
#include "formats/png/png_graphic.h"
#include "jobs/requests.h"
#include "jobs/copy_job.h"
#include "jobs/resize_job.h"
#include "jobs/run_files.h"
#include "raster/filters.h"
#include "raster/stretch.h"
#include "support/job_requests.h"
#include "support/png_fixture.h"
#include "support/test_support.h"

namespace tessane {
namespace {

using test::TempDir;

// A 24-bit bitmap with a smooth gradient, so that every writer has real content.
DibImage Gradient(int32_t w, int32_t h) {
  DibImage b;
  b.SetPixelFormat(DibFormat::k24Bit);
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int32_t x = 0; x < w; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 255 / std::max(1, w - 1));
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / std::max(1, h - 1));
      row[3 * x + 2] = 128;
    }
  }
  return b;
}

void WriteBmpFile(const std::string& path, int32_t w, int32_t h) {
  DibImage b = Gradient(w, h);
  b.SaveToFile(path);
}

void WriteJpegFile(const std::string& path, int32_t w, int32_t h) {
  JpegGraphic jpeg;
  jpeg.SetQuality(90);
  jpeg.Assign(Gradient(w, h));
  jpeg.SaveToFile(path);
}

struct Size {
  int32_t w, h;
};

Size SizeOf(const std::string& path) {
  Picture p;
  p.LoadPicture(path);
  return {p.Width(), p.Height()};
}

// A request with the window's defaults but for the size.
using test::Request;

std::string Resize(const std::string& source, const std::string& dest, uint8_t mode, int32_t size,
                bool crop = false, Filter filter = kDefaultFilter, bool overwrite = false) {
  ResizeRequest request = Request(source, dest, size);
  request.size_mode = mode;
  request.filter = filter;
  request.crop = crop;
  request.overwrite = overwrite;
  ResizeJob work(std::move(request));
  work.ProcessFile();
  return work.dest_name;
}

TEST(ResizeJob, OutputSizesForSizeModesAndTheSixteenNineCut) {
  TempDir dir;
  struct Case { int w, h; uint8_t mode; int size; bool crop; int out_w, out_h; };
  const Case cases[] = {
      {1600, 1200, kSizeLargest, 800, true, 800, 450},   // band rows 150..1049
      {1200, 1200, kSizeLargest, 800, true, 800, 450},
      {1600, 1200, kSizeHeight, 300, true, 400, 225},
      {1920, 1080, kSizeLargest, 800, true, 800, 450},   // 16:9 already: no cut
      {1500, 1000, kSizeLargest, 800, true, 800, 533},   // ratio 1.5: no cut
      {1000, 1500, kSizeLargest, 800, true, 533, 800},   // portrait: no cut
      {1000, 3000, kSizeWidth, 320, false, 320, 960},
      {1001, 500, kSizePercent, 50, false, 500, 249},
      {400, 10, kSizeLargest, 32, false, 33, 1},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " mode " << int(c.mode));
    const std::string src = dir.File("src" + std::to_string(n) + ".bmp");
    const std::string dst = dir.File("out" + std::to_string(n++) + ".bmp");
    WriteBmpFile(src, c.w, c.h);
    EXPECT_EQ(Resize(src, dst, c.mode, c.size, c.crop), dst);
    const Size s = SizeOf(dst);
    EXPECT_EQ(s.w, c.out_w);
    EXPECT_EQ(s.h, c.out_h);
  }
}

TEST(ResizeJob, LargeJpegIsReducedThroughTheDecodingScale) {
  TempDir dir;
  const std::string src = dir.File("big.JPG");  // capitals in the extension are accepted
  WriteJpegFile(src, 4000, 3000);
  const std::string dst = dir.File("big.png");
  Resize(src, dst, kSizeLargest, 320);
  const Size s = SizeOf(dst);
  EXPECT_EQ(s.w, 320);
  EXPECT_EQ(s.h, 240);
}

// The window's request (the batch settings as it makes them) turns a picture upright by its
// orientation tag and keeps its colour profile, as tessane-cli does by default.
TEST(ResizeJob, WindowRequestsComeOutUprightWithTheirProfile) {
  TempDir dir;
  const std::string src = dir.File("turned.jpg");
  WriteJpegFile(src, 900, 500);
  const std::vector<uint8_t> icc = test::ReadBytes(test::DataPath("colour/display_p3.icc"));
  test::Bytes segments = test::Segment(0xE1, test::BuildExif(false, 8));
  const test::Bytes profile =
      test::Segment(0xE2, test::IccChunk(1, 1, std::string(icc.begin(), icc.end())));
  segments.insert(segments.end(), profile.begin(), profile.end());
  test::WriteBytes(src, test::WithSegments(test::ReadBytes(src), segments));
  BatchSettings settings;
  settings.naming.dest_folder = dir.File("out");
  std::filesystem::create_directories(settings.naming.dest_folder);
  ResizeJob job(MakeResizeRequest(src, settings));
  job.ProcessFile();
  ASSERT_TRUE(job.Written());
  Picture out;
  out.LoadPicture(job.dest_name);
  EXPECT_EQ(std::make_pair(out.Width(), out.Height()), std::make_pair(177, 320));
  EXPECT_EQ(out.graphic()->Facts().icc, icc);
  EXPECT_TRUE(out.graphic()->Facts().metadata.exif.empty());
}

TEST(ResizeJob, SourcesWithoutAnAcceptedExtensionAreLeftAlone) {
  TempDir dir;
  WriteBmpFile(dir.File("noext"), 10, 10);
  ResizeJob work(Request(dir.File("noext"), dir.File("out.bmp"), 5));
  work.ProcessFile();
  EXPECT_FALSE(work.Written());
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.bmp")));
}

TEST(ResizeJob, WriterIsChosenByTheDestinationExtension) {
  TempDir dir;
  const std::string src = dir.File("in.bmp");
  WriteBmpFile(src, 64, 48);
  struct Case { const char* name; std::vector<uint8_t> magic; };
  const Case cases[] = {
      {"a.bmp", {'B', 'M'}},
      {"a.jpg", {0xFF, 0xD8, 0xFF}},
      {"a.png", {0x89, 'P', 'N', 'G'}},
      {"a.gif", {'G', 'I', 'F', '8', '7', 'a'}},
      {"a.jp2", {0, 0, 0, 0x0C, 'j', 'P', ' ', ' '}},
      {"a.emf", {1, 0, 0, 0}},
      {"a.wmf", {0xD7, 0xCD, 0xC6, 0x9A}},
      {"a.xmf", {0xD7, 0xCD, 0xC6, 0x9A}},  // any extension holding "mf" is a Windows metafile
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = Resize(src, dir.File(c.name), kSizeLargest, 32);
    const std::vector<uint8_t> bytes = test::ReadBytes(out);
    ASSERT_GE(bytes.size(), c.magic.size());
    EXPECT_TRUE(std::equal(c.magic.begin(), c.magic.end(), bytes.begin()));
  }
  // A format added to the output table needs its case here.
  for (const WriterFormat& writer : OutputFormats())
    EXPECT_TRUE(std::any_of(std::begin(cases), std::end(cases),
                            [&](const Case& c) { return std::string_view(c.name).substr(1) == writer.ext; }))
        << writer.ext;
  ResizeJob none(Request(src, dir.File("a.xyz"), 32));
  none.ProcessFile();
  EXPECT_FALSE(none.Written());
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.xyz")));
}

TEST(ResizeJob, TakenNamesAreNumberedUnlessOverwriting) {
  TempDir dir;
  const std::string src = dir.File("in.bmp");
  WriteBmpFile(src, 40, 30);
  test::WriteBytes(dir.File("x.png"), {1, 2, 3});
  EXPECT_EQ(Resize(src, dir.File("x.png"), kSizeLargest, 20), dir.File("x[1].png"));
  EXPECT_EQ(Resize(src, dir.File("x.png"), kSizeLargest, 20), dir.File("x[2].png"));
  EXPECT_EQ(test::ReadBytes(dir.File("x.png")), (std::vector<uint8_t>{1, 2, 3}));

  EXPECT_EQ(Resize(src, dir.File("x.png"), kSizeLargest, 20, false, kDefaultFilter, true), dir.File("x.png"));
  EXPECT_EQ(SizeOf(dir.File("x.png")).w, 20);
}

TEST(ResizeJob, ReadOnlyOutputIsNeverReplaced) {
  TempDir dir;
  const std::string src = dir.File("in.bmp");
  WriteBmpFile(src, 40, 30);
  const std::string dst = dir.File("locked.png");
  test::WriteBytes(dst, {7, 7, 7});
  ::chmod(dst.c_str(), 0444);
  try {
    Resize(src, dst, kSizeLargest, 20, false, kDefaultFilter, true);
    FAIL() << "expected an error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Error: Unable to delete file.[" + dst + "]");
  }
  EXPECT_EQ(test::ReadBytes(dst), (std::vector<uint8_t>{7, 7, 7}));
}

TEST(ResizeJob, WriterFailingHalfWayLeavesOldOutputAndNoTemporaryFile) {
  TempDir dir;
  const std::string src = dir.File("in.bmp");
  WriteBmpFile(src, 800, 600);
  const std::string dst = dir.File("old.bmp");
  test::WriteBytes(dst, {9, 9, 9, 9});

  // A file-size limit makes every write beyond 4 KB fail, as a full disk would.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(Resize(src, dst, kSizeLargest, 800, false, kDefaultFilter, true), Exception);
  EXPECT_THROW(Resize(src, dir.File("new.bmp"), kSizeLargest, 800), Exception);
  setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_EQ(test::ReadBytes(dst), (std::vector<uint8_t>{9, 9, 9, 9}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.bmp")));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 2);  // in.bmp and old.bmp, no leftovers
}

TEST(ResizeJob, UndecodableJpegBodyWritesNothing) {
  TempDir dir;
  const std::string src = dir.File("broken.jpg");
  WriteJpegFile(src, 64, 64);
  std::vector<uint8_t> bytes = test::ReadBytes(src);
  // Keep the headers, scramble everything after the start of scan.
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) {
      for (size_t j = i + 20; j < bytes.size(); ++j) bytes[j] = 0xFF;
      bytes.resize(i + 40);
      break;
    }
  }
  test::WriteBytes(src, bytes);
  ResizeJob work(Request(src, dir.File("out.jpg"), 32));
  try {
    work.ProcessFile();
  } catch (const Exception&) {
  }
  EXPECT_FALSE(work.Written() && test::ReadBytes(dir.File("out.jpg")).empty());
}

// A 2048 x 2048 picture (4 megapixels: large enough to be scaled from its rows) of gradients
// and fine texture, as filtered rows of filter type 0: RGB, or RGBA whose alpha runs from 0 to
// 255 across each 256 columns (clear, partly clear and opaque pixels).
std::vector<uint8_t> LargeRows(bool alpha = false) {
  constexpr uint32_t kSide = 2048;
  std::vector<uint8_t> raw;
  raw.reserve(size_t{kSide} * ((alpha ? 4 : 3) * kSide + 1));
  for (uint32_t y = 0; y < kSide; ++y) {
    raw.push_back(0);
    for (uint32_t x = 0; x < kSide; ++x) {
      raw.insert(raw.end(), {static_cast<uint8_t>(x / 8), static_cast<uint8_t>(y / 8),
                             static_cast<uint8_t>((x * 7) ^ (y * 13))});
      if (alpha) raw.push_back(static_cast<uint8_t>(x));
    }
  }
  return raw;
}

std::string LoadError(const std::string& path) {
  try {
    Picture picture;
    picture.LoadPicture(path);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

// A large PNG goes from its rows straight into the resampler: the output has exactly the pixels
// of scaling the whole decoded picture (transparent ones included, drawn over black), and
// damaged image data fail the file with the message loading it whole gives, writing nothing.
TEST(ResizeJob, LargePngScaledFromItsRowsKeepsPixelsAndErrors) {
  TempDir dir;
  const std::vector<uint8_t> raw = LargeRows();
  // Grey with a palette-free transparent key: the picture's brightest grey.
  std::vector<uint8_t> grey;
  for (size_t i = 0; i < raw.size(); i += 3 * 2048 + 1) {
    grey.push_back(0);
    for (size_t x = 0; x < 2048; ++x) grey.push_back(raw[i + 1 + 3 * x + 2]);
  }
  const std::vector<uint8_t> stream = test::Deflate(raw, 1);
  auto bad_checksum = stream;
  bad_checksum.back() ^= 1;
  const std::vector<uint8_t> short_rows(raw.begin(), raw.end() - 3 * 2048 - 1);
  auto bad_filter = raw;
  bad_filter[size_t{1500} * (3 * 2048 + 1)] = 9;
  // The same fault with the data ending a few rows later: reading blocks of rows meets the end
  // first, reading the whole picture the filter type.
  const std::vector<uint8_t> bad_filter_short(bad_filter.begin(),
                                              bad_filter.begin() + 1503 * (3 * 2048 + 1));
  struct Case {
    const char* what;
    std::vector<uint8_t> idat;
    bool loads;
    uint8_t color = 2;
    std::vector<uint8_t> trns = {};
  };
  const Case cases[] = {
      {"whole", stream, true},
      {"alpha channel", test::Deflate(LargeRows(true), 1), true, 6},
      {"grey with a transparent grey", test::Deflate(grey, 1), true, 0, {0, 255}},
      {"damaged checksum", bad_checksum, false},
      {"a row missing", test::Deflate(short_rows, 1), false},
      {"filter type 9 in row 1500", test::Deflate(bad_filter, 1), false},
      {"filter type 9 in row 1500, three rows more", test::Deflate(bad_filter_short, 1), false},
  };
  for (const Case& c : cases) {
    const std::string src = dir.File(std::string(c.what) + ".png");
    std::vector<test::TestChunk> chunks = {{"IHDR", test::Ihdr(2048, 2048, 8, c.color)}};
    if (!c.trns.empty()) chunks.push_back({"tRNS", c.trns});
    chunks.push_back({"IDAT", c.idat});
    chunks.push_back({"IEND", {}});
    test::WriteBytes(src, test::MakePng(chunks));
    PngGraphic later;
    later.SetDecodeLater(true);
    later.LoadFromFile(src);
    ASSERT_NE(later.OpenRows(), nullptr) << c.what;

    const std::string dest = dir.File(std::string(c.what) + " out.png");
    ResizeJob work(Request(src, dest, 300));
    std::string error;
    try {
      work.ProcessFile();
    } catch (const Exception& e) {
      error = e.what();
    }
    EXPECT_EQ(error, LoadError(src)) << c.what;
    EXPECT_EQ(error.empty(), c.loads) << c.what << ": " << error;
    if (!c.loads) {
      EXPECT_FALSE(std::filesystem::exists(dest)) << c.what;
      continue;
    }
    Picture whole;
    whole.LoadPicture(src);
    ArgbImage source, expected;
    PictureToArgb(whole, source);
    expected.Resize(300, 300);
    StretchTo(source, expected, expected.Bounds(), source.Bounds(),
              *MakeResampler(kDefaultFilter));
    Picture output;
    output.LoadPicture(dest);
    ArgbImage written;
    PictureToArgb(output, written);
    ASSERT_EQ(written.Width(), 300);
    ASSERT_EQ(written.Height(), 300);
    for (int32_t y = 0; y < 300; ++y)
      for (int32_t x = 0; x < 300; ++x)
        ASSERT_EQ(written.Row(y)[x] | 0xFF000000u, expected.Row(y)[x] | 0xFF000000u)
            << x << "," << y;
  }
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A FIFO with a picture's name once blocked the job in open() for ever.
TEST(ResizeJob, SourceThatIsNoRegularFileFailsAtOnce) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("pipe.jpg").c_str(), 0644), 0);
  std::filesystem::create_directory(dir.File("out"));
  try {
    Resize(dir.File("pipe.jpg"), dir.File("out/pipe.jpg"), kSizeLargest, 20);
    FAIL() << "expected an error";
  } catch (const FileOpenError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + dir.File("pipe.jpg") + "\". Not a regular file (named pipe)");
  }
  EXPECT_TRUE(Listing(dir.File("out")).empty());
}

// An output replaces no file of its batch: not another source (also one reached through a link
// or a second hard link), not the report, and its own source only where the batch allows that.
// Both jobs ask at the moment the name is final.
TEST(ResizeJob, OutputNeverReplacesAFileOfItsBatch) {
  TempDir dir;
  WriteBmpFile(dir.File("a.bmp"), 40, 30);
  WriteBmpFile(dir.File("b.bmp"), 40, 30);
  std::filesystem::create_hard_link(dir.File("b.bmp"), dir.File("hard.bmp"));
  std::filesystem::create_symlink(dir.File("b.bmp"), dir.File("link.bmp"));
  test::WriteBytes(dir.File("report.tsv"), {9});
  struct Case {
    const char* dest;
    bool in_place;
    bool refused;
  };
  const Case cases[] = {
      {"b.bmp", false, true},     {"b.bmp", true, true},  // another source, whatever the batch
      {"hard.bmp", false, true},  {"link.bmp", false, true},
      {"report.tsv", true, true}, {"a.bmp", false, true},  // its own source...
      {"a.bmp", true, false},                              // ...only with the batch's leave
      {"new.bmp", false, false},
  };
  for (const Case& c : cases) {
    for (bool copy : {false, true}) {
      SCOPED_TRACE(std::string(c.dest) + (c.in_place ? " in place" : "") + (copy ? " copy" : ""));
      const auto before = test::ReadBytes(dir.File("b.bmp"));
      auto run = std::make_shared<RunFiles>(c.in_place);
      run->AddSource(dir.File("a.bmp"));
      run->AddSource(dir.File("b.bmp"));
      run->AddProtected(dir.File("report.tsv"));
      try {
        if (copy) {
          CopyJob job(CopyRequest{.source_name = dir.File("a.bmp"),
                                  .dest_name = dir.File(c.dest),
                                  .overwrite = true,
                                  .run_files = run});
          job.CopyFileData();
        } else {
          ResizeRequest request = test::Request(dir.File("a.bmp"), dir.File(c.dest), 20);
          request.overwrite = true;
          request.run_files = run;
          ResizeJob(std::move(request)).ProcessFile();
        }
        EXPECT_FALSE(c.refused);
      } catch (const Exception& e) {
        if (copy && !c.refused && std::string(c.dest) == "a.bmp") continue;  // a copy onto itself
        EXPECT_TRUE(c.refused) << e.what();
        EXPECT_EQ(std::string(e.what()),
                  "The output would replace its own source file; --in-place allows that");
      }
      EXPECT_EQ(test::ReadBytes(dir.File("b.bmp")), before);
      EXPECT_EQ(test::ReadBytes(dir.File("report.tsv")), std::vector<uint8_t>{9});
      EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.bmp")));
    }
  }
  EXPECT_EQ(SizeOf(dir.File("a.bmp")).w, 20);  // replaced in place where allowed
}

// An empty file once failed with "Division by zero"; the window and the command both get this.
TEST(ResizeJob, EmptyFileFailsSayingSo) {
  TempDir dir;
  for (const char* name : {"e.jpg", "e.png", "e.bmp", "e.gif", "e.tif"}) {
    SCOPED_TRACE(name);
    test::WriteBytes(dir.File(name), {});
    try {
      Resize(dir.File(name), dir.File(std::string("out-") + name), kSizeLargest, 20);
      FAIL() << "expected an error";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), "Empty file");
    }
  }
  EXPECT_EQ(Listing(dir.Path()).size(), 5u);
}

// A folder or a dangling link at the output name once made the job spin for ever.
TEST(ResizeJob, NameTakenByAFolderOrLinkIsNumberedOrFailsWhenReplacing) {
  TempDir dir;
  const std::string src = dir.File("in.bmp");
  WriteBmpFile(src, 40, 30);
  std::filesystem::create_directories(dir.File("out/x.png"));
  std::filesystem::create_symlink(dir.File("nowhere"), dir.File("out/x[1].png"));
  EXPECT_EQ(Resize(src, dir.File("out/x.png"), kSizeLargest, 20), dir.File("out/x[2].png"));
  try {
    Resize(src, dir.File("out/x.png"), kSizeLargest, 20, false, kDefaultFilter, true);
    FAIL() << "expected an error";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + dir.File("out/x.png") + "\". Is a directory");
  }
  EXPECT_EQ(Listing(dir.File("out")), (std::vector<std::string>{"x.png", "x[1].png", "x[2].png"}));
}

// Several workers, one output name: each gets its own number, counted from the original name.
TEST(ResizeJob, ParallelJobsToOneNameEachGetTheirOwnNumber) {
  TempDir dir;
  const std::string src = dir.File("in.bmp");
  WriteBmpFile(src, 40, 30);
  std::filesystem::create_directory(dir.File("out"));
  constexpr int kWorkers = 6;
  std::vector<std::thread> workers;
  std::atomic<int> failures{0};
  for (int i = 0; i < kWorkers; ++i) {
    workers.emplace_back([&] {
      try {
        Resize(src, dir.File("out/k.png"), kSizeLargest, 20);
      } catch (const std::exception&) {
        ++failures;
      }
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_EQ(failures, 0);
  std::vector<std::string> expected = {"k.png"};
  for (int i = 1; i < kWorkers; ++i) expected.push_back("k[" + std::to_string(i) + "].png");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(dir.File("out")), expected);
}

// A JPEG whose data stop early decodes with the library's grey where data are missing: still
// written, but the job says so; strict, it fails and writes nothing.
TEST(ResizeJob, TruncatedJpegIsWrittenWithAWarningOrFailsWhenStrict) {
  TempDir dir;
  const std::string src = dir.File("cut.jpg");
  WriteJpegFile(src, 256, 256);
  std::vector<uint8_t> bytes = test::ReadBytes(src);
  bytes.resize(bytes.size() * 2 / 3);
  test::WriteBytes(src, bytes);
  std::filesystem::create_directory(dir.File("out"));

  ResizeJob work(Request(src, dir.File("out/cut.png"), 64));
  work.ProcessFile();
  EXPECT_TRUE(work.Written());
  EXPECT_EQ(work.Warnings(), std::vector<std::string>{"Premature end of JPEG file"});

  ResizeJob strict(Request(src, dir.File("out/strict.png"), 64));
  strict.extras.strict = true;
  try {
    strict.ProcessFile();
    FAIL() << "expected an error";
  } catch (const InvalidImageError& e) {
    EXPECT_STREQ(e.what(), "Premature end of JPEG file");
  }
  EXPECT_EQ(Listing(dir.File("out")), std::vector<std::string>{"cut.png"});

  // Whole data give no warning.
  WriteJpegFile(dir.File("whole.jpg"), 64, 64);
  ResizeJob whole(Request(dir.File("whole.jpg"), dir.File("out/whole.png"), 32));
  whole.extras.strict = true;
  whole.ProcessFile();
  EXPECT_TRUE(whole.Warnings().empty());
}

TEST(ResizeJob, StopRequestLeavesNothing) {
  TempDir dir;
  const std::string src = dir.File("in.bmp");
  WriteBmpFile(src, 40, 30);
  std::filesystem::create_directory(dir.File("out"));
  const std::atomic<bool> stop{true};
  ResizeJob work(Request(src, dir.File("out/in.png"), 20));
  work.cancel = &stop;
  EXPECT_THROW(work.ProcessFile(), AbortError);
  EXPECT_FALSE(work.Written());
  EXPECT_TRUE(Listing(dir.File("out")).empty());
}

// The temporary once added 16 bytes to the name, so sources of 240 to 255 bytes failed.
TEST(ResizeJob, LongestSourceNameWorks) {
  TempDir dir;
  const std::string name = std::string(251, 'p') + ".bmp";
  WriteBmpFile(dir.File(name), 40, 30);
  std::filesystem::create_directory(dir.File("out"));
  EXPECT_EQ(Resize(dir.File(name), dir.File("out/" + name), kSizeLargest, 20), dir.File("out/" + name));
  EXPECT_EQ(SizeOf(dir.File("out/" + name)).w, 20);
}

}  // namespace
}  // namespace tessane
