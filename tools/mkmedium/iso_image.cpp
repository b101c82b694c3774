// The medium as an ISO 9660 image, written by xorriso under a name of its
// own, every date in it the one image time, and moved into place only once
// whole and checked.
#include <cstdio>
#include <ctime>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_tasks.h"
#include "tools/mkmedium/progress_bar.h"
#include "tools/mkmedium/xorriso_run.h"

namespace {

constexpr int kPartialNameTries = 100;
constexpr uint64_t kImageBlock = 2048;
// xorriso writes an image faster than 2 MiB a second to the slowest disk a
// vendor images to; past that it is stuck.
constexpr uint64_t kWriteSeconds = 60;
constexpr uint64_t kWriteBytesASecond = uint64_t{2} << 20;

// Claims a new file "IMAGE.N.part" beside the image, so that nothing that
// stands there already, and no other run, is written over.
bool ClaimPartialImage(PathBuffer& out, const char* image) {
  for (int n = 0; n < kPartialNameTries; ++n) {
    char name[kPathBufferSize + 16];
    (void)std::snprintf(name, sizeof name, "%s.%d.part", image, n);
    if (!CopyPath(out, name)) return false;
    FileHandle claimed = OpenFileForWrite(out, true);
    if (claimed == nullptr) continue;
    if (CloseFile(claimed)) return true;
    DeleteFilePath(out);
    return false;
  }
  out[0] = '\0';
  return false;
}

// The dates as xorriso takes them: "=SECONDS", and for the volume's UUID
// YYYYMMDDhhmmsscc in GMT.
struct ImageDates {
  char seconds[24];
  char uuid[24];
};

bool FormatImageDates(int64_t time, ImageDates* dates) {
  const auto value = static_cast<std::time_t>(time);
  const std::tm* utc = std::gmtime(&value);
  if (utc == nullptr) return false;
  (void)std::snprintf(dates->seconds, sizeof dates->seconds, "=%lld", static_cast<long long>(time));
  return std::strftime(dates->uuid, sizeof dates->uuid, "%Y%m%d%H%M%S00", utc) == 16;
}

// The bar of the image's write: the new image's size as xorriso writes it,
// against an estimate, the medium's bytes and a block for each entry.
struct WriteWatch {
  const char* partial;
  ProgressBar bar;
};

void WatchImageWrite(void* context, std::FILE* terminal) {
  auto* watch = static_cast<WriteWatch*>(context);
  DirEntry found;
  if (!LookUpPath(watch->partial, &found)) return;
  const uint64_t size = found.length;
  // The estimate falls short where the tree's records take more room.
  if (size > watch->bar.totalBytes) watch->bar.totalBytes = size;
  watch->bar.stream = terminal;
  SetProgressBytes(&watch->bar, size);
}

bool RunImageWrite(const char* medium, const char* partial, const ImageSettings& settings,
                   const ImageCheck& check, const char* log) {
  PathBuffer mediumOperand;
  PathBuffer imageOperand;
  ImageDates dates;
  if (!MakeOperandPath(mediumOperand, medium) || !MakeDrivePath(imageOperand, partial)) {
    (void)std::fprintf(stderr, "mkmedium: %s: path too long for the image\n", partial);
    return false;
  }
  if (!FormatImageDates(settings.time, &dates)) {
    (void)std::fprintf(stderr, "mkmedium: no date for the image from %lld\n",
                       static_cast<long long>(settings.time));
    return false;
  }
  // No startup file may change the image; names are read as UTF-8 whatever
  // the locale, as the medium holds them; the volume's creation and
  // modification dates, its UUID, every file's three dates and the time of
  // nodes without a file are the one image time; the expiry and effective
  // dates stay marked as not given. Rock Ridge keeps the names whole for
  // Linux, Joliet for Windows; long Joliet names take up to 103 characters.
  // Level 3 holds files of 4 GiB and more, in extents of under 4 GiB each.
  const char* const arguments[] = {"xorriso",
                                   "-no_rc",
                                   "-abort_on",
                                   "FAILURE",
                                   "-local_charset",
                                   "UTF-8",
                                   "-volume_date",
                                   "c",
                                   dates.seconds,
                                   "-volume_date",
                                   "m",
                                   dates.seconds,
                                   "-volume_date",
                                   "uuid",
                                   dates.uuid,
                                   "-volume_date",
                                   "all_file_dates",
                                   dates.seconds,
                                   "-iso_nowtime",
                                   dates.seconds,
                                   "-as",
                                   "mkisofs",
                                   "-quiet",
                                   "-iso-level",
                                   "3",
                                   "-r",
                                   "-J",
                                   "-joliet-long",
                                   "-V",
                                   settings.label,
                                   "-o",
                                   imageOperand,
                                   mediumOperand,
                                   nullptr};
  const uint64_t estimate = check.plan->totalBytes + kImageBlock * check.plan->entries.size();
  WriteWatch watch = {partial,
                      StartProgressBar("xorriso writing the image", 0, estimate, check.quiet)};
  const uint64_t seconds = kWriteSeconds + estimate / kWriteBytesASecond;
  const bool written = RunXorrisoWatched(
      arguments, log, "the image",
      seconds > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(seconds), WatchImageWrite, &watch);
  FinishProgressBar(&watch.bar);
  return written;
}

}  // namespace

bool WriteIsoImage(const char* medium, const ImageSettings& settings, const ImageCheck& check) {
  PathBuffer scratch;
  PathBuffer partial;
  PathBuffer log;
  if (!MakeScratchFolder(scratch)) return false;
  bool placed = false;
  if (!MakeScratchPath(log, scratch, "xorriso.log")) {
    (void)std::fprintf(stderr, "mkmedium: %s: path too long for a scratch file\n", scratch);
  } else if (!ClaimPartialImage(partial, settings.image)) {
    (void)std::fprintf(stderr, "mkmedium: cannot create a new file beside %s\n", settings.image);
  } else {
    // The image takes the place of the last one only as checked.
    if (RunImageWrite(medium, partial, settings, check, log) &&
        CheckIsoImage(check, partial, settings.image, scratch) == 0) {
      placed = ReplaceFilePath(partial, settings.image);
      if (!placed) {
        (void)std::fprintf(stderr, "mkmedium: cannot put the image in place of %s: %s\n",
                           settings.image, ShowLastError().c_str());
      }
    }
    if (!placed) {
      DeleteFilePath(partial);
      if (ReadStopRequest() != 0) {
        (void)std::fprintf(stderr, "mkmedium: removed the unfinished image %s\n", partial);
      }
      (void)std::fprintf(stderr, "mkmedium: no image made; %s is left as it was\n", settings.image);
    }
  }
  RemoveScratchFolder(scratch);
  return placed;
}
