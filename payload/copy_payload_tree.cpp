#include "payload/directory_listing.h"
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

// One directory of the walk, as its listing hands on the entries.
struct CopiedDirectory {
  const char* source;
  const char* target;
  PayloadLoss* firstLoss;
};

void CopyListedEntry(void* taker, const DirEntry& entry, uint32_t /*lookUpError*/) {
  const auto* copied = static_cast<const CopiedDirectory*>(taker);
  if (IsDirectoryEntry(entry)) {
    CopyDirectoryEntry(copied->source, copied->target, entry, copied->firstLoss);
  } else {
    RestoreFileEntry(copied->source, copied->target, entry, copied->firstLoss);
  }
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
  CopiedDirectory copied = {source, target, firstLoss};
  // A file's restore opens it and reads its size there: no look-up first.
  const ListingEnd end = WalkDirectoryListing(source, false, CopyListedEntry, &copied);
  // A listing that broke off is a folder of which the rest never came.
  if (end.error != 0) NoteSystemLoss(firstLoss, end.error, source, nullptr);
  // Names no launcher path can spell (a Linux name holding a backslash)
  // never came as entries, so their files are missing too.
  if (end.leftOut > 0) NoteSystemLoss(firstLoss, kErrorInvalidName, source, nullptr);
  return 1;
}
