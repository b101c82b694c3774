#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

// Keeps the first loss only: the one the person at the screen is told of.
void NoteFirstLoss(PayloadLoss* first, const FileLoss& loss, const char* directory,
                   const char* name) {
  if (first->loss.kind != kLossNone || loss.kind == kLossNone) return;
  first->loss = loss;
  // Room for a path that did not fit a path buffer; one longer still is
  // shown cut short, as it is only told, never opened.
  FillFormat(first->path, sizeof first->path, name != nullptr ? kPathJoinFormat : "%s", directory,
             name);
}

void NoteSystemLoss(PayloadLoss* first, uint32_t error, const char* directory, const char* name) {
  NoteFirstLoss(first, {kLossSystemError, error}, directory, name);
}

void CopyDirectoryEntry(const char* source, const char* target, const DirEntry& entry,
                        PayloadLoss* firstLoss) {
  if (IsDotEntry(entry)) return;
  // A linked directory may lead back into the tree; two such links make the
  // walk exponential. The medium's own directories are real ones.
  if (IsLinkEntry(entry)) return;
  PathBuffer sourceDir;
  PathBuffer targetDir;
  // An entry whose path does not fit is skipped, never cut short.
  if (!JoinPath(sourceDir, source, entry.name) || !JoinPath(targetDir, target, entry.name)) {
    NoteSystemLoss(firstLoss, kErrorFilenameTooLong, source, entry.name);
    return;
  }
  MakeDirectory(targetDir);
  CopyPayloadTreeNotingLoss(sourceDir, targetDir, firstLoss);
}

void RestoreFileEntry(const char* source, const char* target, const DirEntry& entry,
                      PayloadLoss* firstLoss) {
  const char* destinationName = RestoredFileName(entry.name);
  if (destinationName == nullptr) return;
  PathBuffer sourceFile;
  PathBuffer destinationFile;
  if (!JoinPath(sourceFile, source, entry.name) ||
      !JoinPath(destinationFile, target, destinationName)) {
    NoteSystemLoss(firstLoss, kErrorFilenameTooLong, source, entry.name);
    return;
  }
  FileLoss loss = {kLossNone, 0};
  RestorePayloadFileNotingLoss(sourceFile, destinationFile, kNoOverwrite, &loss);
  NoteFirstLoss(firstLoss, loss, source, entry.name);
}

}  // namespace

const char* RestoredFileName(const char* listedName) {
  if (NamesMatchIgnoringCase(listedName, kLauncherFileName)) return nullptr;
  if (NamesMatchIgnoringCase(listedName, kStoredInstallerFileName)) return kInstallerFileName;
  return listedName;
}

int CopyPayloadTree(const char* source, const char* target) {
  PayloadLoss ignored = {{kLossNone, 0}, ""};
  return CopyPayloadTreeNotingLoss(source, target, &ignored);
}

int CopyPayloadTreeNotingLoss(const char* source, const char* target, PayloadLoss* firstLoss) {
  PathBuffer pattern;
  if (!MakeListPattern(pattern, source)) {
    NoteSystemLoss(firstLoss, kErrorFilenameTooLong, source, nullptr);
    return 1;
  }
  DirEntry entry;
  SearchHandle search = OpenDirectoryListing(pattern, &entry);
  if (search == nullptr) {
    NoteSystemLoss(firstLoss, ReadLastError(), source, nullptr);
    return 1;
  }
  do {
    if (IsDirectoryEntry(entry)) {
      CopyDirectoryEntry(source, target, entry, firstLoss);
    } else {
      RestoreFileEntry(source, target, entry, firstLoss);
    }
  } while (ReadNextEntry(search, &entry));
  // A listing that broke off is a folder of which the rest never came.
  const uint32_t ended = ReadLastError();
  if (ended != kErrorNoMoreFiles) NoteSystemLoss(firstLoss, ended, source, nullptr);
  // Names no launcher path can spell (a Linux name holding a backslash)
  // never came as entries, so their files are missing too.
  if (CountLeftOutEntries(search) > 0)
    NoteSystemLoss(firstLoss, kErrorInvalidName, source, nullptr);
  CloseSearch(search);
  return 1;
}
