// An image's directory records read as the systems that mount it read them:
// where each file's bytes lie, extent by extent in record order, and what
// either system would read otherwise than the others do.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ImageExtent {
  int64_t offset;  // in the image, in bytes
  int64_t length;
};

struct RecordedFile {
  std::vector<ImageExtent> extents;  // in record order
  // Why the systems would not all read these bytes, or nullptr.
  const char* why;
};

// The files of one tree by the block their first extent starts at.
using RecordedFiles = std::map<int64_t, RecordedFile>;

constexpr int kJolietTree = 0;
constexpr int kRockRidgeTree = 1;  // the primary tree, whose records Rock Ridge names

struct ImageRecords {
  int64_t volumeBlocks;
  RecordedFiles files[2];
  // Why a tree cannot be read at all ("" when it can): a directory loop, a
  // tree deeper or larger than any medium, records that run past their end.
  std::string unreadable[2];
  std::size_t entries[2];  // each tree's entries as its walk met them
  // A file system the image holds beside ISO 9660 and Joliet, which a
  // system may read in their place ("" when none): Windows reads UDF first.
  std::string otherFileSystem;
};

// The deepest directory a medium holds: every level takes a name and a
// separator of a restored path's 259 characters.
constexpr int kDeepestImageTree = 130;

// Reads both trees' records from the image at `path`, each stopped at
// `mostEntries` entries. False when the image's descriptors cannot be read.
bool ReadImageRecords(const char* path, std::size_t mostEntries, ImageRecords* records);
