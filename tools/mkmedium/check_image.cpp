// Proof that an image restores to its source as each system reads it: the
// Joliet tree (what Windows reads: its names, letter case and lengths) and
// the Rock Ridge tree (what Linux reads), each listed by xorriso with where
// every file's bytes lie, and those bytes read from the image itself and
// compared as a medium folder's are. Nothing is extracted: the check needs
// no room beside the image and runs at the speed of reading it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_listing.h"
#include "tools/mkmedium/medium_tasks.h"
#include "tools/mkmedium/xorriso_run.h"

namespace {

constexpr int64_t kImageBlock = 2048;

constexpr char kNextTreeMark[] = "== the Rock Ridge tree";

// The names exactly as each tree holds them ("unmapped": nothing stripped,
// nothing mapped): directories and what is neither file nor directory in
// the form of "ls -dl", files as their extents; the Joliet tree first, then
// a mark, then the Rock Ridge tree, in one run of xorriso.
bool ListTrees(const char* image, const char* listing, const char* log) {
  PathBuffer drive;
  if (!MakeDrivePath(drive, image)) {
    (void)std::fprintf(stderr, "mkmedium: %s: path too long to read the image\n", image);
    return false;
  }
  // What one tree is listed by: its directories and what is neither file
  // nor directory as "ls -dl" gives them, its files as their extents.
  const char* const tree[] = {"-indev",     drive,   "-find", "/",     "-type", "d",     "-exec",
                              "lsdl",       "--",    "-find", "/",     "-type", "f",     "-exec",
                              "report_lba", "--",    "-find", "/",     "-not",  "-type", "d",
                              "-not",       "-type", "f",     "-exec", "lsdl",  "--"};
  // A warning fails too: a truncated image is one, where the end lost is
  // only padding.
  const char* const head[] = {"xorriso",  "-no_rc",      "-return_with", "WARNING",
                              "32",       "-abort_on",   "FAILURE",      "-local_charset",
                              "UTF-8",    "-joliet_map", "unmapped",     "-ecma119_map",
                              "unmapped", "-read_fs",    "norock"};
  const char* const between[] = {"-print", kNextTreeMark, "-read_fs", "nojoliet"};
  constexpr std::size_t kTreeArguments = sizeof tree / sizeof tree[0];
  constexpr std::size_t kHeadArguments = sizeof head / sizeof head[0];
  constexpr std::size_t kBetweenArguments = sizeof between / sizeof between[0];
  const char* arguments[kHeadArguments + 2 * kTreeArguments + kBetweenArguments + 1];
  std::size_t count = 0;
  for (const char* argument : head) arguments[count++] = argument;
  for (const char* argument : tree) arguments[count++] = argument;
  for (const char* argument : between) arguments[count++] = argument;
  for (const char* argument : tree) arguments[count++] = argument;
  arguments[count] = nullptr;
  char what[kPathBufferSize + 32];
  (void)std::snprintf(what, sizeof what, "the trees of %s", image);
  return RunXorriso(arguments, listing, log, what);
}

// One path as xorriso quotes it, 'a'"'"'b' for a'b, from `text` on; false
// when it is not quoted so.
bool ReadQuotedPath(const char* text, std::string* path) {
  path->clear();
  const char* c = text;
  while (*c == '\'' || *c == '"') {
    const char quote = *c++;
    const char* end = std::strchr(c, quote);
    if (end == nullptr) return false;
    path->append(c, static_cast<std::size_t>(end - c));
    c = end + 1;
  }
  return c != text && (*c == '\0' || *c == ' ') && !path->empty() && (*path)[0] == '/';
}

// Splits "/a/b/c" into the restored path of "/a/b" and the name "c": only a
// file's own name changes on the way back.
bool SplitImagePath(const std::string& path, std::string* relative, std::string* name) {
  const std::size_t cut = path.rfind('/');
  if (cut == std::string::npos || cut + 1 >= path.size()) return false;
  *name = path.substr(cut + 1);
  *relative = path.substr(1, cut == 0 ? 0 : cut - 1);
  for (char& c : *relative) {
    if (c == '/') c = '\\';
  }
  return true;
}

// "File data lba:  XT , START , BLOCKS , SIZE , 'PATH'"; a second extent of
// a file only a file of 4 GiB or more has.
void ReadExtentLine(const char* line, const char* image, TreeListing* listing) {
  long long extent = 0;
  long long start = 0;
  long long blocks = 0;
  long long size = 0;
  const char* quoted = std::strstr(line, " '");
  std::string path;
  std::string relative;
  std::string name;
  if (std::sscanf(line, "File data lba: %lld , %lld , %lld , %lld ,", &extent, &start, &blocks,
                  &size) != 4 ||
      quoted == nullptr || !ReadQuotedPath(quoted + 1, &path) ||
      !SplitImagePath(path, &relative, &name)) {
    TellUncompared(&listing->uncompared, line, "image", "a listing line not understood");
    return;
  }
  if (extent != 0) return;
  TreeItem item = {false, false, {}, start * kImageBlock, size > INT32_MAX ? -1 : size, {}};
  const char* why = CopyPath(item.path, image) ? nullptr : "the image's path is too long";
  if (size > blocks * kImageBlock) why = "its extent is shorter than the file";
  (void)AddListedItem(listing, relative, name.c_str(), item, why);
}

// "drwxr-xr-x 1 0 0 2048 Nov 14 22:13 '/data'": a directory, or what no
// medium holds.
void ReadEntryLine(const char* line, TreeListing* listing) {
  const char* quoted = std::strstr(line, " '/");
  std::string path;
  std::string relative;
  std::string name;
  if (quoted == nullptr || !ReadQuotedPath(quoted + 1, &path)) {
    TellUncompared(&listing->uncompared, line, "image", "a listing line not understood");
    return;
  }
  if (path == "/" || !SplitImagePath(path, &relative, &name)) return;
  const bool directory = line[0] == 'd';
  const TreeItem item = {directory, false, {}, -1, 0, {}};
  const char* why = directory ? nullptr : line[0] == 'l' ? "a link" : "not a regular file";
  (void)AddListedItem(listing, relative, name.c_str(), item, why);
}

// Reads the Joliet tree into `listings[0]`, the Rock Ridge tree after the
// mark into `listings[1]`. False when the listing cannot be read at all.
bool ReadTreeListings(const char* listingPath, const char* image, TreeListing* listings) {
  TreeListing* listing = &listings[0];
  std::FILE* file = std::fopen(listingPath, "rb");
  if (file == nullptr) return false;
  std::string line;
  for (int c = std::fgetc(file);; c = std::fgetc(file)) {
    if (c != '\n' && c != EOF) {
      line += static_cast<char>(c);
      continue;
    }
    if (line == kNextTreeMark) {
      listing = &listings[1];
    } else if (line.rfind("File data lba:", 0) == 0) {
      ReadExtentLine(line.c_str(), image, listing);
    } else if (!line.empty() && std::strchr("dlpcbs-", line[0]) != nullptr &&
               line.find(" '/") != std::string::npos) {
      ReadEntryLine(line.c_str(), listing);
    }
    line.clear();
    if (c == EOF) break;
  }
  (void)std::fclose(file);
  return true;
}

int CheckTree(const ImageCheck& check, const char* shown, const char* tree,
              const TreeListing* found, ImageReading* reading) {
  int differences = 1;
  if (found != nullptr) {
    char task[64];
    (void)std::snprintf(task, sizeof task, "checking the %s tree", tree);
    ProgressBar bar =
        StartProgressBar(task, check.plan->files, check.plan->totalBytes, check.quiet);
    differences =
        CompareWithSource(check.source, *check.plan, *found, check.launcher, &bar, reading);
    FinishProgressBar(&bar);
  } else {
    (void)std::printf("cannot read: the %s tree of %s\n", tree, shown);
  }
  if (differences != 0) {
    (void)std::printf("mkmedium: %d difference%s in the %s tree of %s\n", differences,
                      differences == 1 ? "" : "s", tree, shown);
  }
  return differences;
}

}  // namespace

int CheckIsoImage(const ImageCheck& check, const char* image, const char* shown,
                  const char* scratch) {
  PathBuffer listingPath;
  PathBuffer log;
  TreeListing found[2] = {{0, {}, {}}, {0, {}, {}}};
  bool listed = false;
  if (!MakeScratchPath(listingPath, scratch, "listing.txt") ||
      !MakeScratchPath(log, scratch, "xorriso.log")) {
    (void)std::fprintf(stderr, "mkmedium: %s: the scratch folder's path is too long\n", scratch);
  } else {
    listed = ListTrees(image, listingPath, log) && ReadTreeListings(listingPath, image, found);
    DeleteFilePath(listingPath);
    DeleteFilePath(log);
  }
  ImageReading reading;
  const char* const trees[] = {"Joliet", "Rock Ridge"};
  int differences = 0;
  for (int i = 0; i < 2; ++i) {
    differences += CheckTree(check, shown, trees[i], listed ? &found[i] : nullptr, &reading);
  }
  return differences;
}
