// A medium as the check sees it, from a folder or from one tree of an image:
// every entry under the name the launcher restores it as, keyed as Windows
// keys names, letter case folded, and where its stored bytes lie.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/mkmedium/image_records.h"
#include "tools/mkmedium/medium_plan.h"
#include "tools/mkmedium/progress_bar.h"

struct TreeItem {
  bool directory;
  bool doubled;  // two medium entries restore to this one name
  PathBuffer path;
  // -1: the file at `path`; else where its bytes start in the image at `path`.
  int64_t offset;
  int64_t length;     // -1: an image's extent whose length its records cannot tell
  std::string shown;  // the restored path, in the letter case it comes back in
  // In an image: where its bytes lie, read one extent after the other.
  std::vector<ImageExtent> extents;
};

using TreeItems = std::map<std::string, TreeItem>;

struct TreeListing {
  int uncompared;                   // entries listed but not comparable, each told
  std::vector<TreeItem> launchers;  // what the root holds as "setup.exe"
  TreeItems items;
};

// Adds an entry met below `relative` (the restored path of its directory,
// '\'-separated, "" at the root) as the launcher restores it: a stored
// installer under its restored name, a launcher at the root as one, a
// launcher deeper down not at all. Tells and counts an entry that cannot be
// compared, `why` naming its reason. Returns the item added, or nullptr.
TreeItem* AddListedItem(TreeListing* listing, const std::string& relative, const char* name,
                        const TreeItem& item, const char* why);

// The reason a listed entry cannot be compared: a link, or not a regular file.
void TellUncompared(int* uncompared, const std::string& shown, const char* tree, const char* why);

// kUnreadable: the medium's copy cannot be read; kSourceUnreadable: the
// source's file.
enum class Comparison { kSame, kDifferent, kUnreadable, kSourceUnreadable, kStopped };

// What the checks of an image's trees share: the image, open once, and the
// comparisons made, by source file and extent, so that the second tree's
// files, which share the first's extents, are not read again.
struct ImageReading {
  std::ifstream image;
  std::string imagePath;
  std::map<std::pair<std::string, int64_t>, Comparison> compared;
};

// Compares the listing with the source as the scan planned it and its
// launchers with the file `launcher`, telling every difference on standard
// output and counting the bytes read on `bar`; an image's extents through
// `reading`. Returns how many there are.
int CompareWithSource(const char* source, const MediumPlan& plan, const TreeListing& found,
                      const char* launcher, ProgressBar* bar, ImageReading* reading);
