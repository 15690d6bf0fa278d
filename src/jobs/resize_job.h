#pragma once
// The resize job's work, free of threading: load one source, scale it, save it. The window runs
// it through ResizeJobThread on the UI thread; tessane-cli runs it on its own worker threads.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "formats/picture_facts.h"
#include "jobs/memory_budget.h"
#include "jobs/requests.h"

namespace tessane {

class Picture;
class SrgbConversion;
class ArgbImage;
struct SharedSource;
struct DecodeNeed;

/// Denominator of the JPEG decoding scale (1, 2, 4 or 8) for a picture of this full size
/// reduced to `size`: strictly above 8, 4 or 2 times the size on the shorter ratio.
/// Throws FloatDivisionByZeroError for a size of 0.
int JpegScaleDenominator(int32_t width, int32_t height, int32_t size);

/// Target rectangle of a picture of width x height for a size value and size mode; an empty
/// result grows by one on every side. Throws the 16-bit arithmetic errors of MulDivWord.
Rect TargetRectFor(int32_t width, int32_t height, int32_t size, uint8_t sizeMode);

/// One file's resize work: the request's fields, which the work reads and updates (size and
/// dest_name), and what the work found.
class ResizeJob : public ResizeRequest {
 public:
  explicit ResizeJob(ResizeRequest request);
  ~ResizeJob();

  /// When set and raised, the work stops before its output is put in place (AbortError), leaving
  /// nothing behind.
  const std::atomic<bool>* cancel = nullptr;

  /// When set, gives the output its name once its pixel size is known, just before it is written
  /// (the numbering of taken names still follows).
  std::function<std::string(int32_t width, int32_t height)> name_for_size;

  /// When set, the works of one source's several sizes load it through this once and decode its
  /// pixels once per JPEG scale; each still writes what it would write alone.
  SharedSource* shared_source = nullptr;

  /// When set, the work reserves its picture's peak, estimated from the header, before anything
  /// is decoded, and holds it until its output is written: it waits while the pictures under
  /// way leave no room, and a picture that needs more than the whole budget fails
  /// (OutOfResourcesError) without being decoded.
  MemoryBudget* budget = nullptr;

  /// The whole work: accept, load, pick the JPEG scale, scale and save. Throws the job's errors.
  void ProcessFile();
  /// What the loaded source's reader learnt of it; null before it is loaded.
  const PictureFacts* Facts() const { return loaded_ ? &source_facts_ : nullptr; }
  /// True once a file was written to dest_name.
  bool Written() const { return written_; }
  /// What went wrong without stopping the work: the picture was decoded from damaged data (the
  /// decoder's own words), or could not be scaled and was written as loaded. With
  /// extras.strict the first of these fails the work instead, and nothing is written.
  const std::vector<std::string>& Warnings() const { return warnings_; }
  /// The most the work reserved from its budget (0 without one).
  int64_t ReservedBytes() const { return reserved_most_; }

 private:
  Rect TargetRect() const;
  Rect TargetRectOf(int32_t width, int32_t height, int32_t sizeValue) const;
  void ReserveMemory();
  void ReserveAfterLoading();
  int64_t PeakNeed(const DecodeNeed& need, bool rows) const;
  bool MayScaleFromRows() const;
  void ScaleAndSave();
  bool ScaleFromRows(int32_t targetWidth, int32_t targetHeight);
  void ScalePicture(Picture& picture, int32_t targetWidth, int32_t targetHeight);
  void SavePicture();
  std::string PrepareSource(ArgbImage& source, const Picture& picture);
  bool KeepsAlpha() const;

  std::unique_ptr<Picture> picture_;
  Picture* loaded_ = nullptr;  // the picture the size comes from: picture_'s, or shared_source's
  int scale_ = 1;               // its JPEG scale denominator
  int32_t loaded_width_ = 0;    // its sides at that scale, as loaded
  int32_t loaded_height_ = 0;
  std::string scale_error_;
  std::vector<std::string> warnings_;
  PictureFacts source_facts_;  // as the reader gave them (the picture becomes the output)
  SourceFacts facts_;          // what the work does with them
  std::unique_ptr<SrgbConversion> colour_;  // with ConvertToSrgb, for a source with a profile
  bool written_ = false;
  MemoryBudget::Reservation reservation_;
  int64_t whole_need_ = 0;  // the reservation a whole decoding takes, where rows were counted
  bool probed_ = false;     // the need came from the header (else from the loaded picture)
  int64_t file_size_ = 0;
  int64_t reserved_most_ = 0;
};

}  // namespace tessane
