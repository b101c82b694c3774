// Proof that a medium restores to its source: both trees are listed under
// the names the launcher would restore, then compared entry by entry and
// byte by byte through the payload code's own transform.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_tasks.h"

namespace {

constexpr std::size_t kCompareChunk = std::size_t{1} << 20;

struct TreeItem {
  bool directory;
  bool doubled;  // two medium files restore to this one name
  PathBuffer path;
  int64_t length;
};

using TreeItems = std::map<std::string, TreeItem>;

struct TreeListing {
  bool medium;
  bool launcherFound;
  bool unlisted;
  TreeItems items;
};

// The name this entry comes back under, or nullptr for one never restored.
const char* RestoredNameOf(const TreeListing& listing, const DirEntry& entry) {
  if (IsDirectoryEntry(entry)) return entry.name;
  if (listing.medium) return RestoredFileName(entry.name);
  return NamesMatchIgnoringCase(entry.name, kInstallerFileName) ? kInstallerFileName : entry.name;
}

void ListTreeItems(TreeListing* listing, const char* directory, const std::string& relative) {
  PathBuffer pattern;
  DirEntry entry;
  SearchHandle search =
      MakeListPattern(pattern, directory) ? OpenDirectoryListing(pattern, &entry) : nullptr;
  if (search == nullptr) {
    listing->unlisted = true;
    (void)std::printf("cannot list: %s\n", directory);
    return;
  }
  do {
    if (IsDotEntry(entry) || IsLinkEntry(entry) || !CompleteListedEntry(directory, &entry)) {
      continue;
    }
    const char* name = RestoredNameOf(*listing, entry);
    if (name == nullptr) {
      if (relative.empty() && entry.length > 0) listing->launcherFound = true;
      continue;
    }
    TreeItem item = {IsDirectoryEntry(entry), false, {}, entry.lengthHigh != 0 ? -1 : entry.length};
    if (!JoinPath(item.path, directory, entry.name)) continue;
    const std::string key = relative.empty() ? name : relative + "\\" + name;
    auto placed = listing->items.emplace(key, item);
    if (!placed.second) placed.first->second.doubled = true;
    if (item.directory) ListTreeItems(listing, item.path, key);
  } while (ReadNextEntry(search, &entry));
  CloseSearch(search);
}

// Two chunks for the whole check: fresh ones for every file would cost more
// than comparing most files does.
struct CompareBuffers {
  std::vector<unsigned char> real;
  std::vector<unsigned char> stored;
};

bool ReadChunk(FileHandle file, std::vector<unsigned char>* chunk, int64_t* got) {
  *got = ReadFileBytes(file, chunk->data(), chunk->size());
  return *got >= 0;
}

bool StoredBytesMatch(const char* sourcePath, const char* mediumPath, CompareBuffers* buffers) {
  FileHandle source = OpenFileForRead(sourcePath);
  FileHandle medium = OpenFileForRead(mediumPath);
  std::vector<unsigned char>& real = buffers->real;
  std::vector<unsigned char>& stored = buffers->stored;
  bool same = source != nullptr && medium != nullptr;
  while (same) {
    int64_t realCount = 0;
    int64_t storedCount = 0;
    same = ReadChunk(source, &real, &realCount) && ReadChunk(medium, &stored, &storedCount) &&
           realCount == storedCount;
    if (!same || realCount == 0) break;
    const auto count = static_cast<std::size_t>(realCount);
    ComplementBytes(stored.data(), count);
    same = std::memcmp(real.data(), stored.data(), count) == 0;
  }
  if (source != nullptr) CloseFile(source);
  if (medium != nullptr) CloseFile(medium);
  return same;
}

int CompareItem(const std::string& name, const TreeItem& wanted, const TreeItem& found,
                CompareBuffers* buffers) {
  const char* why = nullptr;
  if (found.doubled) {
    why = "two files of the medium restore to this name";
  } else if (wanted.directory != found.directory) {
    why = wanted.directory ? "a file on the medium, a directory in the source"
                           : "a directory on the medium, a file in the source";
  } else if (wanted.directory) {
    return 0;
  } else if (wanted.length < 0 || wanted.length != found.length) {
    why = "lengths differ";
  } else if (!StoredBytesMatch(wanted.path, found.path, buffers)) {
    why = "contents differ";
  }
  if (why == nullptr) return 0;
  (void)std::printf("differs: %s: %s\n", name.c_str(), why);
  return 1;
}

}  // namespace

int CheckMedium(const char* source, const char* medium) {
  TreeListing wanted = {false, false, false, {}};
  TreeListing found = {true, false, false, {}};
  ListTreeItems(&wanted, source, "");
  // Without both roots there is nothing to compare, only one failure.
  if (wanted.items.empty() && wanted.unlisted) return 1;
  ListTreeItems(&found, medium, "");
  if (found.items.empty() && found.unlisted) return 1;
  int differences = (wanted.unlisted ? 1 : 0) + (found.unlisted ? 1 : 0);
  CompareBuffers buffers = {std::vector<unsigned char>(kCompareChunk),
                            std::vector<unsigned char>(kCompareChunk)};
  if (!found.launcherFound) {
    (void)std::printf("missing: %s (the launcher)\n", kLauncherFileName);
    ++differences;
  }
  for (const auto& item : wanted.items) {
    auto match = found.items.find(item.first);
    if (match == found.items.end()) {
      (void)std::printf("missing: %s\n", item.first.c_str());
      ++differences;
    } else {
      differences += CompareItem(item.first, item.second, match->second, &buffers);
    }
  }
  for (const auto& item : found.items) {
    if (wanted.items.count(item.first) != 0) continue;
    (void)std::printf("extra: %s\n", item.first.c_str());
    ++differences;
  }
  return differences;
}
