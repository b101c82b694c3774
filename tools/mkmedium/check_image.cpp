// Proof that an image restores to its source as each system reads it: the
// Joliet tree (what Windows reads: its names, letter case and lengths) and
// the Rock Ridge tree (what Linux reads), each walked first through its own
// directory records (bounded; every file's extents in record order), then
// listed by xorriso, and each file's bytes read from the image itself,
// extent after extent, and compared as a medium folder's are. Nothing is
// extracted: the check needs no room beside the image and runs at the speed
// of reading it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/image_records.h"
#include "tools/mkmedium/medium_listing.h"
#include "tools/mkmedium/medium_tasks.h"
#include "tools/mkmedium/xorriso_run.h"

namespace {

constexpr int64_t kImageBlock = 2048;

constexpr char kNextTreeMark[] = "== the Rock Ridge tree";

// xorriso reads an image's trees in well under a second for every 4 MiB it
// holds on the slowest disk a vendor uses, and for every 1,000 entries it
// lists on a busy build host (an image of many empty files holds few
// bytes); past that it is lost in what it reads.
constexpr uint32_t kListingSeconds = 10;
constexpr int64_t kListingBytesASecond = int64_t{4} << 20;
constexpr int64_t kListingEntriesASecond = 1000;

// The names exactly as each tree holds them ("unmapped": nothing stripped,
// nothing mapped): directories and what is neither file nor directory in
// the form of "ls -dl", files as their extents; the Joliet tree first, then
// a mark, then the Rock Ridge tree, in one run of xorriso. A tree marked
// unreadable is left out: xorriso would be lost in it.
bool ListTrees(const char* image, const ImageRecords& records, const char* listing,
               const char* log) {
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
  const char* const head[] = {"xorriso", "-no_rc",      "-return_with", "WARNING",
                              "32",      "-abort_on",   "FAILURE",      "-local_charset",
                              "UTF-8",   "-joliet_map", "unmapped",     "-ecma119_map",
                              "unmapped"};
  const char* const joliet[] = {"-read_fs", "norock"};
  const char* const between[] = {"-print", kNextTreeMark, "-read_fs", "nojoliet"};
  constexpr std::size_t kTreeArguments = sizeof tree / sizeof tree[0];
  const char* arguments[sizeof head / sizeof head[0] + sizeof joliet / sizeof joliet[0] +
                        2 * kTreeArguments + sizeof between / sizeof between[0] + 1];
  std::size_t count = 0;
  for (const char* argument : head) arguments[count++] = argument;
  if (records.unreadable[kJolietTree].empty()) {
    for (const char* argument : joliet) arguments[count++] = argument;
    for (const char* argument : tree) arguments[count++] = argument;
  }
  for (const char* argument : between) arguments[count++] = argument;
  if (records.unreadable[kRockRidgeTree].empty()) {
    for (const char* argument : tree) arguments[count++] = argument;
  }
  arguments[count] = nullptr;
  char what[kPathBufferSize + 32];
  (void)std::snprintf(what, sizeof what, "the trees of %s", image);
  const auto entries =
      static_cast<int64_t>(records.entries[kJolietTree] + records.entries[kRockRidgeTree]);
  const int64_t seconds = kListingSeconds +
                          records.volumeBlocks * kImageBlock / kListingBytesASecond +
                          entries / kListingEntriesASecond;
  return RunXorriso(arguments, listing, log, what,
                    seconds > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(seconds));
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
  const std::size_t cut = static_cast<std::size_t>(FindLastName(path.c_str()) - path.c_str());
  if (cut == 0 || cut >= path.size()) return false;
  *name = path.substr(cut);
  *relative = path.substr(1, cut == 1 ? 0 : cut - 2);
  for (char& c : *relative) {
    if (c == '/') c = '\\';
  }
  return true;
}

// One line of the listing of a file's extents.
struct ListedExtent {
  long long extent;
  long long block;
  long long blocks;
  long long size;  // of the whole file
};

// Every file of a tree by its path, its extents in the listing's order.
using ListedFiles = std::map<std::string, std::vector<ListedExtent>>;

// "File data lba:  XT , START , BLOCKS , SIZE , 'PATH'": one line for each
// extent of a file, its number first.
void ReadExtentLine(const char* line, TreeListing* listing, ListedFiles* files) {
  ListedExtent extent = {0, 0, 0, 0};
  const char* quoted = std::strstr(line, " '");
  std::string path;
  if (std::sscanf(line, "File data lba: %lld , %lld , %lld , %lld ,", &extent.extent, &extent.block,
                  &extent.blocks, &extent.size) != 4 ||
      quoted == nullptr || !ReadQuotedPath(quoted + 1, &path)) {
    TellUncompared(&listing->uncompared, line, "image", "a listing line not understood");
    return;
  }
  (*files)[path].push_back(extent);
}

// Why xorriso's extents of a file are not the ones its records give, or
// nullptr: the extents in the same order at the same blocks, of the same
// total size.
const char* FindListingFault(const std::vector<ListedExtent>& listed, const RecordedFile& file) {
  if (listed.size() != file.extents.size()) {
    return "xorriso reads other extents than its records give";
  }
  int64_t size = 0;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const ImageExtent& recorded = file.extents[i];
    if (listed[i].extent != static_cast<long long>(i) ||
        listed[i].block * kImageBlock != recorded.offset ||
        listed[i].blocks != (recorded.length + kImageBlock - 1) / kImageBlock ||
        listed[i].size != listed[0].size) {
      return "xorriso reads other extents than its records give";
    }
    size += recorded.length;
  }
  return size == listed[0].size ? nullptr : "xorriso reads another size than its records give";
}

// Adds one listed file as its records say its bytes lie.
void AddListedFile(const std::string& path, const std::vector<ListedExtent>& listed,
                   const RecordedFiles& recorded, const char* image, TreeListing* listing) {
  std::string relative;
  std::string name;
  if (!SplitImagePath(path, &relative, &name)) {
    TellUncompared(&listing->uncompared, path, "image", "a listing line not understood");
    return;
  }
  TreeItem item = {false, false, {}, 0, 0, {}, {}};
  const char* why = CopyPath(item.path, image) ? nullptr : "the image's path is too long";
  const auto file = recorded.find(listed[0].block);
  if (file == recorded.end()) {
    why = "xorriso reads it where no record of the image starts";
  } else if (why == nullptr) {
    why = file->second.why != nullptr ? file->second.why : FindListingFault(listed, file->second);
  }
  if (why == nullptr) {
    item.extents = file->second.extents;
    item.offset = listed[0].block * kImageBlock;
    item.length = listed[0].size;
  }
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
  const TreeItem item = {directory, false, {}, -1, 0, {}, {}};
  const char* why = directory ? nullptr : line[0] == 'l' ? "a link" : "not a regular file";
  (void)AddListedItem(listing, relative, name.c_str(), item, why);
}

// Reads the Joliet tree into `listings[0]`, the Rock Ridge tree after the
// mark into `listings[1]`, each file where its records say its bytes lie.
// False when the listing cannot be read at all.
bool ReadTreeListings(const char* listingPath, const char* image, const ImageRecords& records,
                      TreeListing* listings) {
  int tree = kJolietTree;
  ListedFiles files[2];
  std::FILE* file = std::fopen(listingPath, "rb");
  if (file == nullptr) return false;
  std::string line;
  for (int c = std::fgetc(file);; c = std::fgetc(file)) {
    if (c != '\n' && c != EOF) {
      line += static_cast<char>(c);
      continue;
    }
    if (line == kNextTreeMark) {
      tree = kRockRidgeTree;
    } else if (line.rfind("File data lba:", 0) == 0) {
      ReadExtentLine(line.c_str(), &listings[tree], &files[tree]);
    } else if (!line.empty() && std::strchr("dlpcbs-", line[0]) != nullptr &&
               line.find(" '/") != std::string::npos) {
      ReadEntryLine(line.c_str(), &listings[tree]);
    }
    line.clear();
    if (c == EOF) break;
  }
  (void)std::fclose(file);
  for (int t = 0; t < 2; ++t) {
    for (const auto& [path, extents] : files[t]) {
      AddListedFile(path, extents, records.files[t], image, &listings[t]);
    }
  }
  return true;
}

// What keeps a tree from being compared, or nullptr when it can be.
const char* FindTreeFault(bool recordsRead, const ImageRecords& records, bool listed, int tree) {
  if (!recordsRead) return "no ISO 9660 volume in it";
  if (!records.unreadable[tree].empty()) return records.unreadable[tree].c_str();
  return listed ? nullptr : "xorriso could not list it";
}

int CheckTree(const ImageCheck& check, const char* shown, const char* tree, const char* fault,
              const TreeListing& found, ImageReading* reading) {
  int differences = 1;
  if (fault == nullptr) {
    char task[64];
    (void)std::snprintf(task, sizeof task, "checking the %s tree", tree);
    ProgressBar bar =
        StartProgressBar(task, check.plan->files, check.plan->totalBytes, check.quiet);
    differences =
        CompareWithSource(check.source, *check.plan, found, check.launcher, &bar, reading);
    FinishProgressBar(&bar);
  } else {
    (void)std::printf("cannot read: the %s tree of %s: %s\n", tree, shown, fault);
  }
  if (differences != 0) {
    (void)std::printf("mkmedium: %d difference%s in the %s tree of %s\n", differences,
                      differences == 1 ? "" : "s", tree, shown);
  }
  return differences;
}

// A tree with more entries than this is none of the source's: twice the
// source's, with room for what a vendor may have added by hand.
std::size_t CountMostEntries(const MediumPlan& plan) { return 2 * plan.entries.size() + 1024; }

}  // namespace

int CheckIsoImage(const ImageCheck& check, const char* image, const char* shown,
                  const char* scratch) {
  PathBuffer listingPath;
  PathBuffer log;
  TreeListing found[2] = {{0, {}, {}}, {0, {}, {}}};
  ImageRecords records = {0, {}, {}, {0, 0}, {}};
  const bool recordsRead = ReadImageRecords(image, CountMostEntries(*check.plan), &records);
  bool listed = false;
  if (!MakeScratchPath(listingPath, scratch, "listing.txt") ||
      !MakeScratchPath(log, scratch, "xorriso.log")) {
    (void)std::fprintf(stderr, "mkmedium: %s: the scratch folder's path is too long\n", scratch);
  } else if (recordsRead && (records.unreadable[kJolietTree].empty() ||
                             records.unreadable[kRockRidgeTree].empty())) {
    listed = ListTrees(image, records, listingPath, log) &&
             ReadTreeListings(listingPath, image, records, found);
    DeleteFilePath(listingPath);
    DeleteFilePath(log);
  }
  ImageReading reading;
  const char* const trees[] = {"Joliet", "Rock Ridge"};
  int differences = 0;
  // What Windows would read in their place was never compared.
  if (recordsRead && !records.otherFileSystem.empty()) {
    (void)std::printf(
        "cannot compare: the image holds %s beside ISO 9660 and Joliet, which Windows reads in "
        "their place; the check reads only those two\n",
        records.otherFileSystem.c_str());
    ++differences;
  }
  for (int i = 0; i < 2; ++i) {
    const char* fault = FindTreeFault(recordsRead, records, listed, i);
    differences += CheckTree(check, shown, trees[i], fault, found[i], &reading);
  }
  return differences;
}
