// Proof that a medium restores to its source: the source as the make's scan
// planned it and the medium as listed, both under the names the launcher
// would restore and keyed as Windows keys them, letter case folded, then
// compared entry by entry and byte by byte through the payload code's own
// transform, and the launcher at the root against the launcher file. What
// cannot be compared is a difference too: a check passes only what it has
// seen. A medium folder is listed here; an image's trees in check_image.cpp.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "payload/directory_listing.h"
#include "payload/file_pieces.h"
#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_listing.h"
#include "tools/mkmedium/medium_tasks.h"

namespace {

constexpr char kTooLong[] = "longer than the 259 characters of a path";

// Where a restored path comes back on Windows: one file for every spelling
// that differs only in letter case.
std::string MakeItemKey(const std::string& shown) { return FoldNameKey(shown.c_str()); }

// The source's items from the scan's plan, the installer under the name it
// comes back as; its refusals are told already.
TreeItems ListPlannedItems(const char* source, const MediumPlan& plan, int* uncompared) {
  TreeItems items;
  for (const MediumEntry& entry : plan.entries) {
    // A pipe could hold the check forever; a link is not what a medium holds.
    if (entry.special) continue;
    std::string shown(entry.relative);
    if (entry.installer) {
      shown.replace(static_cast<std::size_t>(entry.nameOffset), std::string::npos,
                    kInstallerFileName);
    }
    TreeItem item = {entry.directory, false, {}, -1, static_cast<int64_t>(entry.length), shown, {}};
    if (!JoinPath(item.path, source, entry.relative)) {
      TellUncompared(uncompared, ShowRelativePath(shown.c_str()), "source", kTooLong);
      continue;
    }
    items.emplace(MakeItemKey(shown), item);
  }
  return items;
}

// The reason an entry cannot be compared, or nullptr.
const char* FindUncomparable(const DirEntry& entry) {
  if (IsLinkEntry(entry)) return "a link";
  if (!IsDirectoryEntry(entry) && (entry.attributes & kDeviceAttribute) != 0) {
    return "not a regular file";
  }
  return nullptr;
}

bool ListFolderItems(TreeListing* listing, const char* directory, const std::string& relative);

// One folder of the medium, as its listing hands on the entries.
struct ListedFolder {
  TreeListing* listing;
  const char* directory;
  const std::string* relative;
};

void ListFolderEntry(void* taker, const DirEntry& entry, uint32_t lookUpError) {
  const auto* folder = static_cast<const ListedFolder*>(taker);
  TreeItem item = {
      IsDirectoryEntry(entry), false, {}, -1, static_cast<int64_t>(entry.length), {}, {}};
  std::string lookUpWhy;
  const char* why = FindUncomparable(entry);
  if (lookUpError != 0) {
    lookUpWhy = "cannot be looked up: " + ShowError(lookUpError);
    why = lookUpWhy.c_str();
  }
  if (why == nullptr && !JoinPath(item.path, folder->directory, entry.name)) why = kTooLong;
  const TreeItem* added = AddListedItem(folder->listing, *folder->relative, entry.name, item, why);
  if (added != nullptr && added->directory) {
    // The item's path, as the map holds it: `item` was copied in.
    PathBuffer path;
    (void)CopyPath(path, added->path);
    const std::string shown = added->shown;
    (void)ListFolderItems(folder->listing, path, shown);
  }
}

// False when `directory` itself cannot be listed; a listing that broke off
// or left names out is told as what cannot be compared.
bool ListFolderItems(TreeListing* listing, const char* directory, const std::string& relative) {
  ListedFolder folder = {listing, directory, &relative};
  const ListingEnd end = WalkDirectoryListing(directory, true, ListFolderEntry, &folder);
  const std::string shown = relative.empty() ? "." : ShowRelativePath(relative.c_str());
  if (!end.opened) {
    if (!relative.empty()) {
      TellUncompared(&listing->uncompared, shown, "medium",
                     ("cannot be listed: " + ShowError(end.error)).c_str());
    }
    return false;
  }
  if (end.error != 0) {
    TellUncompared(&listing->uncompared, shown, "medium",
                   ("its listing broke off: " + ShowError(end.error)).c_str());
  }
  if (end.leftOut != 0) {
    char why[96];
    (void)std::snprintf(why, sizeof why, "%d name%s no launcher path can spell", end.leftOut,
                        end.leftOut == 1 ? "" : "s");
    TellUncompared(&listing->uncompared, shown, "medium", why);
  }
  return true;
}

// The bytes of a found item: a file of its own, or its extents in an image.
struct ItemBytes {
  FileHandle file;
  std::ifstream* image;
  const std::vector<ImageExtent>* extents;
  std::size_t next;  // the extent read after this one
  int64_t left;      // of the extent, not yet read
};

bool SeekExtent(ItemBytes* bytes, std::size_t index) {
  const ImageExtent& extent = (*bytes->extents)[index];
  bytes->image->clear();
  bytes->image->seekg(extent.offset);
  bytes->next = index + 1;
  bytes->left = extent.length;
  return bytes->image->good();
}

bool OpenItemBytes(const TreeItem& item, ImageReading* reading, ItemBytes* bytes) {
  if (item.offset < 0) {
    bytes->file = OpenFileForRead(item.path);
    return bytes->file != nullptr;
  }
  if (reading == nullptr) return false;
  if (reading->imagePath != item.path) {
    reading->image.close();
    reading->image.open(item.path, std::ios::binary);
    reading->imagePath = item.path;
  }
  bytes->image = &reading->image;
  bytes->extents = &item.extents;
  return item.extents.empty() || SeekExtent(bytes, 0);
}

// The count read, or -1: an extent that ends before its length is a read
// error, as a truncated image is. The extents are read in record order,
// each to its length, as a mounted image gives them, until `size` or the end.
int64_t ReadItemBytes(ItemBytes* bytes, unsigned char* buffer, std::size_t size) {
  if (bytes->file != nullptr) return ReadFileBytes(bytes->file, buffer, size);
  std::size_t count = 0;
  while (count < size) {
    if (bytes->left == 0) {
      if (bytes->next >= bytes->extents->size()) break;
      if (!SeekExtent(bytes, bytes->next)) return -1;
      continue;
    }
    const std::size_t room = size - count;
    const auto wanted = static_cast<std::size_t>(
        bytes->left < static_cast<int64_t>(room) ? bytes->left : static_cast<int64_t>(room));
    bytes->image->read(reinterpret_cast<char*>(buffer + count),
                       static_cast<std::streamsize>(wanted));
    if (static_cast<std::size_t>(bytes->image->gcount()) != wanted) return -1;
    bytes->left -= static_cast<int64_t>(wanted);
    count += wanted;
  }
  return static_cast<int64_t>(count);
}

// What kind of program a found item is, from its first bytes.
LauncherKind ReadItemKind(const TreeItem& item, ImageReading* reading) {
  ItemBytes bytes = {nullptr, nullptr, nullptr, 0, 0};
  unsigned char header[kProgramHeaderBytes];
  int64_t count = -1;
  if (OpenItemBytes(item, reading, &bytes)) {
    // An extent shorter than the header is read as far as it goes.
    if (bytes.left > 0 && bytes.left < static_cast<int64_t>(sizeof header)) {
      count = ReadItemBytes(&bytes, header, static_cast<std::size_t>(bytes.left));
    } else {
      count = ReadItemBytes(&bytes, header, sizeof header);
    }
  }
  if (bytes.file != nullptr) CloseFile(bytes.file);
  if (count < 0) return LauncherKind::kUnreadable;
  return ReadHeaderKind(header, static_cast<std::size_t>(count));
}

// Two pieces for the whole check: fresh ones for every file would cost more
// than comparing most files does.
struct CompareBuffers {
  std::vector<unsigned char> real;
  std::vector<unsigned char> stored;
  ProgressBar* bar;
  ImageReading* reading;
  uint32_t error;  // why the last source read as kSourceUnreadable; 0: it changed
};

// The copy's bytes the loop's pieces of the real file are held against.
struct ComparedFile {
  ItemBytes* copy;
  bool stored;
  CompareBuffers* buffers;
  Comparison stopped;  // why the taker ended the loop
};

bool CompareCopiedPiece(void* taker, unsigned char* bytes, std::size_t count) {
  auto* compared = static_cast<ComparedFile*>(taker);
  CompareBuffers* buffers = compared->buffers;
  const int64_t copied = ReadItemBytes(compared->copy, buffers->stored.data(), count);
  compared->stopped = Comparison::kDifferent;
  if (copied < 0) compared->stopped = Comparison::kUnreadable;
  if (copied != static_cast<int64_t>(count)) return false;
  if (compared->stored) ComplementBytes(buffers->stored.data(), count);
  if (std::memcmp(bytes, buffers->stored.data(), count) != 0) return false;
  if (buffers->bar != nullptr) AdvanceProgressBytes(buffers->bar, count);
  compared->stopped = Comparison::kStopped;
  return ReadStopRequest() == 0;
}

// Compares a real file with a stored one, or with a plain copy when not
// `stored`, a piece at a time to the end of both.
Comparison CompareFileBytes(const char* realPath, const TreeItem& copyItem, bool stored,
                            CompareBuffers* buffers) {
  FileHandle real = OpenFileForRead(realPath);
  uint64_t length = 0;
  if (real == nullptr || !ReadFileSize(real, &length)) {
    buffers->error = ReadLastError();
    if (real != nullptr) CloseFile(real);
    return Comparison::kSourceUnreadable;
  }
  ItemBytes copy = {nullptr, nullptr, nullptr, 0, 0};
  ComparedFile compared = {&copy, stored, buffers, Comparison::kSame};
  Comparison result = Comparison::kUnreadable;
  if (OpenItemBytes(copyItem, buffers->reading, &copy)) {
    FileLoss loss = {kLossNone, 0};
    switch (CarryFilePieces(real, length, buffers->real.data(), buffers->real.size(), false,
                            CompareCopiedPiece, &compared, &loss)) {
      case PieceEnd::kCarried: {
        // The copy must end where the real file does.
        unsigned char past = 0;
        const int64_t more = ReadItemBytes(&copy, &past, 1);
        result = more == 0  ? Comparison::kSame
                 : more < 0 ? Comparison::kUnreadable
                            : Comparison::kDifferent;
        break;
      }
      case PieceEnd::kSourceFailed:
        buffers->error = loss.error;
        result = Comparison::kSourceUnreadable;
        break;
      case PieceEnd::kTakerStopped:
        result = compared.stopped;
        break;
    }
  }
  CloseFile(real);
  if (copy.file != nullptr) CloseFile(copy.file);
  return result;
}

const char* DescribeComparison(Comparison comparison) {
  switch (comparison) {
    case Comparison::kSame:
      break;
    case Comparison::kDifferent:
      return "contents differ";
    case Comparison::kUnreadable:
      return "cannot read it";
    case Comparison::kSourceUnreadable:
      return "cannot read the source's file";
    case Comparison::kStopped:
      return "not compared: the check was stopped";
  }
  return nullptr;
}

// Why a source's file could not be compared, in words.
std::string DescribeSourceFault(uint32_t error) {
  if (error == 0) return "it changed while it was read: check again";
  char words[256];
  DescribeError(error, words, sizeof words);
  return words;
}

int CompareItem(const TreeItem& wanted, const TreeItem& found, CompareBuffers* buffers) {
  const char* why = nullptr;
  // A directory's letter case is told at the directory alone.
  const char* wantedName = FindLastName(wanted.shown.c_str());
  const char* foundName = FindLastName(found.shown.c_str());
  Comparison compared = Comparison::kSame;
  char caseWhy[kPathBufferSize + 32];
  if (found.doubled) {
    why = "names of the medium that differ only in letter case: one comes back";
  } else if (std::strcmp(wantedName, foundName) != 0) {
    (void)std::snprintf(caseWhy, sizeof caseWhy, "comes back as \"%s\"", foundName);
    why = caseWhy;
  } else if (wanted.directory != found.directory) {
    why = wanted.directory ? "a file on the medium, a directory in the source"
                           : "a directory on the medium, a file in the source";
  } else if (wanted.directory) {
    return 0;
  } else if (wanted.length < 0 || found.length < 0) {
    why = "a length the image's records cannot tell";
  } else if (wanted.length != found.length) {
    why = "lengths differ";
  } else if (found.offset >= 0 && buffers->reading != nullptr) {
    // Another tree of the image compared these bytes already.
    const auto key = std::make_pair(std::string(wanted.path), found.offset);
    auto known = buffers->reading->compared.find(key);
    if (known == buffers->reading->compared.end()) {
      known = buffers->reading->compared
                  .emplace(key, CompareFileBytes(wanted.path, found, true, buffers))
                  .first;
    } else if (buffers->bar != nullptr) {
      AdvanceProgressBytes(buffers->bar, static_cast<uint64_t>(wanted.length));
    }
    compared = known->second;
  } else {
    compared = CompareFileBytes(wanted.path, found, true, buffers);
  }
  if (!wanted.directory && buffers->bar != nullptr) CountProgressFile(buffers->bar);
  const std::string shown = ShowRelativePath(wanted.shown.c_str());
  if (compared == Comparison::kSourceUnreadable) {
    int uncompared = 0;
    TellUncompared(&uncompared, shown, "source", DescribeSourceFault(buffers->error).c_str());
    return uncompared;
  }
  if (why == nullptr) why = DescribeComparison(compared);
  if (why == nullptr) return 0;
  (void)std::printf("differs: %s: %s\n", shown.c_str(), why);
  return 1;
}

int CompareLaunchers(const TreeListing& found, const char* launcher, CompareBuffers* buffers) {
  if (found.launchers.empty()) {
    (void)std::printf("missing: %s (the launcher)\n", kLauncherFileName);
    return 1;
  }
  int differences = 0;
  if (found.launchers.size() > 1) {
    (void)std::printf("differs: %s (the launcher): %zu files at the root take its name\n",
                      kLauncherFileName, found.launchers.size());
    ++differences;
  }
  for (const TreeItem& copy : found.launchers) {
    const char* why = DescribeComparison(CompareFileBytes(launcher, copy, false, buffers));
    if (why == nullptr) continue;
    (void)std::printf("differs: %s (the launcher): %s, against %s; the medium's is %s\n",
                      kLauncherFileName, why, launcher,
                      DescribeLauncherKind(ReadItemKind(copy, buffers->reading)));
    ++differences;
  }
  return differences;
}

}  // namespace

void TellUncompared(int* uncompared, const std::string& shown, const char* tree, const char* why) {
  (void)std::printf("cannot compare: %s in the %s: %s\n", shown.c_str(), tree, why);
  ++*uncompared;
}

TreeItem* AddListedItem(TreeListing* listing, const std::string& relative, const char* name,
                        const TreeItem& item, const char* why) {
  const char* restoredName = item.directory ? name : RestoredFileName(name);
  // The launcher counts at the root only; deeper down it is never restored.
  if (restoredName == nullptr && !relative.empty()) return nullptr;
  const char* shownName = restoredName != nullptr ? restoredName : name;
  const std::string restored =
      relative.empty() ? std::string(shownName) : relative + "\\" + shownName;
  if (why != nullptr) {
    TellUncompared(&listing->uncompared, ShowRelativePath(restored.c_str()), "medium", why);
    return nullptr;
  }
  if (restoredName == nullptr) {
    listing->launchers.push_back(item);
    return nullptr;
  }
  TreeItem added = item;
  added.shown = restored;
  auto placed = listing->items.emplace(MakeItemKey(restored), added);
  if (!placed.second) {
    placed.first->second.doubled = true;
    return nullptr;
  }
  return &placed.first->second;
}

int CompareWithSource(const char* source, const MediumPlan& plan, const TreeListing& found,
                      const char* launcher, ProgressBar* bar, ImageReading* reading) {
  int differences = found.uncompared;
  const TreeItems wanted = ListPlannedItems(source, plan, &differences);
  CompareBuffers buffers = {std::vector<unsigned char>(kFilePieceSize),
                            std::vector<unsigned char>(kFilePieceSize), nullptr, reading, 0};
  differences += CompareLaunchers(found, launcher, &buffers);
  buffers.bar = bar;
  for (const auto& item : wanted) {
    if (ReadStopRequest() != 0) return differences + 1;
    auto match = found.items.find(item.first);
    if (match == found.items.end()) {
      (void)std::printf("missing: %s\n", ShowRelativePath(item.second.shown.c_str()).c_str());
      ++differences;
      if (!item.second.directory && bar != nullptr) CountProgressFile(bar);
    } else {
      differences += CompareItem(item.second, match->second, &buffers);
    }
  }
  for (const auto& item : found.items) {
    if (wanted.count(item.first) != 0) continue;
    (void)std::printf("extra: %s\n", ShowRelativePath(item.second.shown.c_str()).c_str());
    ++differences;
  }
  return differences;
}

int CheckMedium(const char* source, const MediumPlan& plan, const char* medium,
                const char* launcher, bool quiet) {
  TreeListing found = {0, {}, {}};
  // Without the medium's root there is nothing to compare, only one failure.
  if (!ListFolderItems(&found, medium, "")) {
    int uncompared = 0;
    (void)ListPlannedItems(source, plan, &uncompared);
    (void)std::printf("cannot list: %s\n", medium);
    return uncompared + 1;
  }
  ProgressBar bar = StartProgressBar("checking", plan.files, plan.totalBytes, quiet);
  const int differences = CompareWithSource(source, plan, found, launcher, &bar, nullptr);
  FinishProgressBar(&bar);
  return differences;
}
