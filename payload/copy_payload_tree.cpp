#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

void CopyDirectoryEntry(const char* source, const char* target, const DirEntry& entry) {
  if (IsDotEntry(entry)) return;
  // A linked directory may lead back into the tree; two such links make the
  // walk exponential. The medium's own directories are real ones.
  if (IsLinkEntry(entry)) return;
  PathBuffer sourceDir;
  PathBuffer targetDir;
  // An entry whose path does not fit is skipped, never cut short.
  if (!JoinPath(sourceDir, source, entry.name) || !JoinPath(targetDir, target, entry.name)) return;
  MakeDirectory(targetDir);
  CopyPayloadTree(sourceDir, targetDir);
}

void RestoreFileEntry(const char* source, const char* target, const DirEntry& entry) {
  const char* destinationName = RestoredFileName(entry.name);
  if (destinationName == nullptr) return;
  PathBuffer sourceFile;
  PathBuffer destinationFile;
  if (!JoinPath(sourceFile, source, entry.name) ||
      !JoinPath(destinationFile, target, destinationName)) {
    return;
  }
  RestorePayloadFile(sourceFile, destinationFile, kNoOverwrite);
}

}  // namespace

const char* RestoredFileName(const char* listedName) {
  if (NamesMatchIgnoringCase(listedName, kLauncherFileName)) return nullptr;
  if (NamesMatchIgnoringCase(listedName, kStoredInstallerFileName)) return kInstallerFileName;
  return listedName;
}

int CopyPayloadTree(const char* source, const char* target) {
  PathBuffer pattern;
  if (!MakeListPattern(pattern, source)) return 1;
  DirEntry entry;
  SearchHandle search = OpenDirectoryListing(pattern, &entry);
  if (search == nullptr) return 1;
  do {
    if (IsDirectoryEntry(entry)) {
      CopyDirectoryEntry(source, target, entry);
    } else {
      RestoreFileEntry(source, target, entry);
    }
  } while (ReadNextEntry(search, &entry));
  CloseSearch(search);
  return 1;
}
