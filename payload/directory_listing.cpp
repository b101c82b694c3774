#include "payload/directory_listing.h"

namespace {

// A path too long to look up is too long for any use of it: the taker,
// which joins it too, tells so.
uint32_t CompleteEntryLength(const char* directory, DirEntry* entry) {
  PathBuffer path;
  if (!JoinPath(path, directory, entry->name)) return 0;
  return LookUpPath(path, entry) ? 0 : ReadLastError();
}

}  // namespace

ListingEnd WalkDirectoryListing(const char* directory, bool lengths, ListedEntryTaker take,
                                void* taker) {
  PathBuffer pattern;
  if (!MakeListPattern(pattern, directory)) return {false, kErrorFilenameTooLong, 0};
  DirEntry entry;
  SearchHandle search = OpenDirectoryListing(pattern, &entry);
  if (search == nullptr) {
    const uint32_t error = ReadLastError();
    return {false, error != 0 ? error : kErrorGenericFailure, 0};
  }
  ListingEnd end = {true, 0, 0};
  do {
    if (IsDotEntry(entry)) continue;
    const uint32_t lookUpError =
        lengths && !entry.lengthKnown ? CompleteEntryLength(directory, &entry) : 0;
    take(taker, entry, lookUpError);
  } while (ReadNextEntry(search, &entry));
  // Read at once: the taker's calls set codes of their own.
  const uint32_t ended = ReadLastError();
  if (ended != kErrorNoMoreFiles) end.error = ended;
  end.leftOut = CountLeftOutEntries(search);
  CloseSearch(search);
  return end;
}
