// The directory records of an image's two trees, walked as a mounting system
// walks them, before xorriso reads a name: a loop or an endless tree is
// caught here, where it costs a few blocks, and every file's extents are
// taken from its own records, where the listing gives only their blocks.
#include "tools/mkmedium/image_records.h"

#include <cstring>
#include <fstream>
#include <set>

namespace {

constexpr int64_t kBlock = 2048;
constexpr std::size_t kBlockBytes = 2048;
constexpr int64_t kFirstDescriptor = 16;
constexpr int kMostDescriptors = 32;
constexpr std::size_t kRootRecordAt = 156;
constexpr std::size_t kVolumeBlocksAt = 80;
constexpr std::size_t kEscapesAt = 88;
constexpr std::size_t kShortestRecord = 34;
// A directory of this length holds some 300,000 entries, more than a
// medium's longest.
constexpr int64_t kLongestDirectory = int64_t{16} << 20;

constexpr unsigned kDirectoryFlag = 0x02;
constexpr unsigned kMoreExtentsFlag = 0x80;

uint32_t ReadLittle32(const unsigned char* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

bool ReadBlocks(std::ifstream& image, int64_t block, int64_t length,
                std::vector<unsigned char>* out) {
  out->assign(static_cast<std::size_t>(length), 0);
  image.clear();
  image.seekg(block * kBlock);
  image.read(reinterpret_cast<char*>(out->data()), static_cast<std::streamsize>(length));
  return image.good();
}

struct DirectoryRecord {
  int64_t block;
  int64_t length;
  unsigned flags;
  bool interleaved;
  bool attributesFirst;  // an extended attribute record before the bytes
  std::string name;
};

// The record at `at`, or false when it runs past its block.
bool ParseRecord(const std::vector<unsigned char>& data, std::size_t at, DirectoryRecord* record) {
  const std::size_t length = data[at];
  const std::size_t blockEnd = (at / kBlockBytes + 1) * kBlockBytes;
  if (length < kShortestRecord || at + length > blockEnd || at + length > data.size()) return false;
  const unsigned char* bytes = &data[at];
  const std::size_t nameLength = bytes[32];
  if (33 + nameLength > length) return false;
  record->block = ReadLittle32(bytes + 2);
  record->length = ReadLittle32(bytes + 10);
  record->flags = bytes[25];
  record->interleaved = bytes[26] != 0 || bytes[27] != 0;
  record->attributesFirst = bytes[1] != 0;
  record->name.assign(reinterpret_cast<const char*>(bytes + 33), nameLength);
  return true;
}

bool IsSelfOrParent(const DirectoryRecord& record) {
  return record.name.size() == 1 && (record.name[0] == '\0' || record.name[0] == '\1');
}

int64_t CountBlocks(int64_t length) { return (length + kBlock - 1) / kBlock; }

struct TreeWalk {
  std::ifstream* image;
  int64_t volumeBlocks;
  std::size_t mostEntries;
  std::size_t entries;
  RecordedFiles* files;
  std::string* unreadable;
};

// Why a file's extent would be read otherwise by another system, or nullptr.
const char* FindExtentFault(const TreeWalk& walk, const DirectoryRecord& record) {
  if (record.interleaved) return "interleaved, which not every system reads";
  if (record.attributesFirst) return "an extended attribute record before its bytes";
  if (record.block + CountBlocks(record.length) > walk.volumeBlocks) {
    return "an extent past the end of the volume";
  }
  if ((record.flags & kMoreExtentsFlag) != 0 && record.length % kBlock != 0) {
    return "an extent before its last ends inside a block, where systems go on reading from "
           "different places";
  }
  return nullptr;
}

bool HaveSameExtents(const RecordedFile& one, const RecordedFile& other) {
  if (one.extents.size() != other.extents.size()) return false;
  for (std::size_t i = 0; i < one.extents.size(); ++i) {
    if (one.extents[i].offset != other.extents[i].offset ||
        one.extents[i].length != other.extents[i].length) {
      return false;
    }
  }
  return true;
}

void AddRecordedFile(TreeWalk* walk, int64_t block, const RecordedFile& file) {
  auto placed = walk->files->emplace(block, file);
  if (placed.second) return;
  // Two files from one block read alike only with the same extents.
  RecordedFile& other = placed.first->second;
  if (!HaveSameExtents(other, file)) {
    other.why = "two records start at its bytes with different extents";
  }
  if (other.why == nullptr) other.why = file.why;
}

struct PendingFile {
  bool open;
  int64_t block;
  std::string name;
  RecordedFile file;
};

// Ends a file whose records say more extents follow: a later record of
// another name, or the directory's end, leaves its last extent unrecorded.
void CloseMultiExtentFile(TreeWalk* walk, PendingFile* pending) {
  if (!pending->open) return;
  if (pending->file.why == nullptr) pending->file.why = "its last extent has no record";
  AddRecordedFile(walk, pending->block, pending->file);
  pending->open = false;
}

void AddFileRecord(TreeWalk* walk, const DirectoryRecord& record, PendingFile* pending) {
  if (pending->open && pending->name != record.name) CloseMultiExtentFile(walk, pending);
  if (!pending->open) *pending = {true, record.block, record.name, {{}, nullptr}};
  pending->file.extents.push_back({record.block * kBlock, record.length});
  if (pending->file.why == nullptr) pending->file.why = FindExtentFault(*walk, record);
  if ((record.flags & kMoreExtentsFlag) != 0) return;
  AddRecordedFile(walk, pending->block, pending->file);
  pending->open = false;
}

struct DirectoryToRead {
  int64_t block;
  int64_t length;
  int depth;
};

// Reads one directory's records, adding its files and the directories it
// holds to `next`. False, with the reason set, when the tree cannot be read.
bool ReadDirectory(TreeWalk* walk, const DirectoryToRead& directory,
                   std::vector<DirectoryToRead>* next) {
  std::vector<unsigned char> data;
  if (directory.length > kLongestDirectory) {
    *walk->unreadable = "a directory longer than any medium's";
    return false;
  }
  if (directory.block + CountBlocks(directory.length) > walk->volumeBlocks ||
      !ReadBlocks(*walk->image, directory.block, directory.length, &data)) {
    *walk->unreadable = "a directory past the end of the image";
    return false;
  }
  PendingFile pending = {false, 0, {}, {{}, nullptr}};
  std::size_t at = 0;
  while (at < data.size()) {
    if (data[at] == 0) {
      at = (at / kBlockBytes + 1) * kBlockBytes;  // the rest of the block is padding
      continue;
    }
    DirectoryRecord record;
    if (!ParseRecord(data, at, &record)) {
      *walk->unreadable = "a directory record that runs past its block";
      return false;
    }
    at += data[at];
    if (IsSelfOrParent(record)) continue;
    if ((record.flags & kDirectoryFlag) == 0) {
      if (!pending.open || pending.name != record.name) ++walk->entries;
      AddFileRecord(walk, record, &pending);
    } else {
      CloseMultiExtentFile(walk, &pending);
      ++walk->entries;
      if (directory.depth + 1 > kDeepestImageTree) {
        *walk->unreadable = "directories deeper than any medium's";
        return false;
      }
      next->push_back({record.block, record.length, directory.depth + 1});
    }
    if (walk->entries > walk->mostEntries) {
      *walk->unreadable = "more entries than the medium could hold";
      return false;
    }
  }
  CloseMultiExtentFile(walk, &pending);
  return true;
}

// Walks the tree under the root record at `root`; a directory met twice is
// a loop, or a link no medium holds, and either makes the tree unreadable.
void WalkTree(TreeWalk* walk, const unsigned char* root) {
  std::vector<DirectoryToRead> toRead = {{ReadLittle32(root + 2), ReadLittle32(root + 10), 0}};
  std::set<int64_t> read;
  while (!toRead.empty()) {
    const DirectoryToRead directory = toRead.back();
    toRead.pop_back();
    if (!read.insert(directory.block).second) {
      *walk->unreadable = "a directory that leads back to one read before, a loop";
      return;
    }
    if (!ReadDirectory(walk, directory, &toRead)) return;
  }
}

bool IsJolietEscape(const unsigned char* descriptor) {
  const unsigned char* escape = descriptor + kEscapesAt;
  return escape[0] == '%' && escape[1] == '/' &&
         (escape[2] == '@' || escape[2] == 'C' || escape[2] == 'E');
}

// Windows reads the Joliet records, Linux the primary ones: a file whose
// bytes start at one block in both must lie in the same extents in both.
void MarkDisagreements(ImageRecords* records) {
  for (auto& [block, joliet] : records->files[kJolietTree]) {
    auto other = records->files[kRockRidgeTree].find(block);
    if (other == records->files[kRockRidgeTree].end() || HaveSameExtents(joliet, other->second)) {
      continue;
    }
    joliet.why = "the Joliet and the Rock Ridge tree disagree on its extents";
    other->second.why = joliet.why;
  }
}

// UDF's volume recognition sequence follows the ISO 9660 descriptors,
// "BEA01", then "NSR02" or "NSR03", then "TEA01", each in a block of its own.
std::string FindOtherFileSystem(std::ifstream& image, int after) {
  std::vector<unsigned char> block;
  for (int n = after; n < kMostDescriptors; ++n) {
    if (!ReadBlocks(image, kFirstDescriptor + n, kBlock, &block)) break;
    const char* id = reinterpret_cast<const char*>(&block[1]);
    if (std::memcmp(id, "NSR02", 5) == 0 || std::memcmp(id, "NSR03", 5) == 0) {
      return "a UDF file system (" + std::string(id, 5) + ")";
    }
    if (std::memcmp(id, "BEA01", 5) != 0 && std::memcmp(id, "BOOT2", 5) != 0 &&
        std::memcmp(id, "CDW02", 5) != 0) {
      break;
    }
  }
  image.clear();
  return "";
}

}  // namespace

bool ReadImageRecords(const char* path, std::size_t mostEntries, ImageRecords* records) {
  std::ifstream image(path, std::ios::binary);
  std::vector<unsigned char> primary;
  std::vector<unsigned char> joliet;
  std::vector<unsigned char> descriptor;
  int n = 0;
  for (; n < kMostDescriptors && image.good(); ++n) {
    if (!ReadBlocks(image, kFirstDescriptor + n, kBlock, &descriptor) ||
        std::memcmp(&descriptor[1], "CD001", 5) != 0) {
      break;
    }
    if (descriptor[0] == 1 && primary.empty()) primary = descriptor;
    if (descriptor[0] == 2 && joliet.empty() && IsJolietEscape(descriptor.data())) {
      joliet = descriptor;
    }
  }
  records->otherFileSystem = FindOtherFileSystem(image, n);
  if (primary.empty()) return false;
  records->volumeBlocks = ReadLittle32(&primary[kVolumeBlocksAt]);
  const std::vector<unsigned char>* roots[2] = {&joliet, &primary};
  for (int tree = 0; tree < 2; ++tree) {
    records->entries[tree] = 0;
    records->unreadable[tree].clear();
    records->files[tree].clear();
    if (roots[tree]->empty()) {
      records->unreadable[tree] = "the image has no such tree";
      continue;
    }
    TreeWalk walk = {&image, records->volumeBlocks, mostEntries,
                     0,      &records->files[tree], &records->unreadable[tree]};
    WalkTree(&walk, roots[tree]->data() + kRootRecordAt);
    records->entries[tree] = walk.entries;
  }
  MarkDisagreements(records);
  return true;
}
