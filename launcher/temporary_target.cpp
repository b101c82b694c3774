#include "launcher/temporary_target.h"

#include <cstring>

#include "launcher/run_problem.h"
#include "payload/directory_listing.h"
#include "payload/payload_tree.h"

namespace {

// Made again when it vanished meanwhile, or another run took the name in
// the moment between an earlier copy's deletion and the new one.
constexpr int kCopyAttempts = 3;
constexpr char kAsideMark = '-';

// The copy's name, the mark and the identity of the directory it held.
bool FormatAsidePath(PathBuffer& out, const char* directory, HeldDirectory held) {
  char suffix[kHeldIdentitySize + 1] = {kAsideMark};
  char identity[kHeldIdentitySize];
  FormatHeldIdentity(held, identity);
  std::memcpy(suffix + 1, identity, sizeof identity);
  return ConcatenatePath(out, directory, suffix);
}

// The identity an aside copy's name claims, or nullptr for any other name.
const char* FindClaimedIdentity(const char* name, const char* copyName) {
  const std::size_t copyLength = std::strlen(copyName);
  if (std::strncmp(name, copyName, copyLength) != 0 || name[copyLength] != kAsideMark) {
    return nullptr;
  }
  const char* identity = name + copyLength + 1;
  int digits = 0;
  for (; identity[digits] != '\0'; ++digits) {
    const char c = identity[digits];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return nullptr;
  }
  return digits == kHeldIdentitySize - 1 ? identity : nullptr;
}

// An earlier copy that cannot be emptied (a file of it still open in
// another program): renamed after its own identity, so that this run gets
// a fresh one, that copy's installer is never started, and a later run can
// tell it from any folder of the user's.
bool SetEarlierCopyAside(HeldDirectory earlier, const char* directory) {
  PathBuffer aside;
  return FormatAsidePath(aside, directory, earlier) && MoveHeldCopyAside(earlier, aside);
}

void ClearAsideCopy(const char* path, const char* claimed) {
  HeldDirectory held = TakeEarlierCopy(path);
  if (held == nullptr) return;
  char identity[kHeldIdentitySize];
  FormatHeldIdentity(held, identity);
  if (std::strcmp(identity, claimed) == 0 && EmptyHeldTree(held)) {
    RemoveHeldDirectory(held, path);
  } else {
    CloseHeldDirectory(held);
  }
}

HeldDirectory CopyTaken(HeldDirectory copy, const char* directory) {
  ClearAsideCopies(directory);
  return copy;
}

// What stands where the copy should be, and is no directory of its own.
void TellWhatBlocksTheCopy(const char* directory) {
  DirEntry there;
  const char* what = kBlockedBySomethingText;
  if (LookUpPath(directory, &there)) {
    if ((there.attributes & kReparsePointAttribute) != 0) {
      what = kBlockedByLinkText;
    } else if ((there.attributes & kDirectoryAttribute) != 0) {
      // A folder by its look-up that cannot be held as one where it is
      // named: Wine shows a Unix link so.
      what = kBlockedByLinkText;
    } else if ((there.attributes & kDeviceAttribute) == 0) {
      what = kBlockedByFileText;
    }
  }
  TellRunProblemWith(kCopyBlockedText, directory, what);
}

// The folder the copy lies in, and the copy's own name there.
struct AsideFolder {
  PathBuffer folder;
  const char* copyName;
};

void ClearListedAsideCopy(void* taker, const DirEntry& entry, uint32_t /*lookUpError*/) {
  const auto* aside = static_cast<const AsideFolder*>(taker);
  const char* claimed = FindClaimedIdentity(entry.name, aside->copyName);
  PathBuffer path;
  if (claimed != nullptr && IsDirectoryEntry(entry) && !IsLinkEntry(entry) &&
      JoinPath(path, aside->folder, entry.name)) {
    ClearAsideCopy(path, claimed);
  }
}

}  // namespace

void ClearAsideCopies(const char* directory) {
  AsideFolder aside = {{}, FindLastName(directory)};
  if (aside.copyName == directory || !ReadDirectoryPart(aside.folder, directory)) return;
  // What a listing that broke off left unseen the next run clears.
  (void)WalkDirectoryListing(aside.folder, false, ClearListedAsideCopy, &aside);
}

HeldDirectory TakeTemporaryCopy(const char* directory) {
  uint32_t error = kErrorSharingViolation;
  for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
    HeldDirectory made = CreatePrivateDirectory(directory);
    if (made != nullptr) return CopyTaken(made, directory);
    error = ReadLastError();
    if (error != kErrorAlreadyExists) break;
    HeldDirectory earlier = TakeEarlierCopy(directory);
    if (earlier == nullptr) {
      error = ReadLastError();
      if (error == kErrorFileNotFound || error == kErrorPathNotFound) continue;
      if (error == kErrorDirectory) {
        TellWhatBlocksTheCopy(directory);
        return nullptr;
      }
      // Held by a run or another program: nothing at all is done to it.
      TellRunProblem(error == kErrorSharingViolation ? kCopyInUseText : kCopyNotOwnText, directory,
                     error);
      return nullptr;
    }
    // Nothing is ever overwritten, so a leftover's files would be the ones
    // this run starts: the copy is cleared whole, or set aside whole.
    if (EmptyHeldTree(earlier)) {
      made = RenewEarlierCopy(earlier, directory);
      if (made != nullptr) return CopyTaken(made, directory);
      error = ReadLastError();
      continue;
    }
    const bool moved = SetEarlierCopyAside(earlier, directory);
    CloseHeldDirectory(earlier);
    if (!moved) {
      TellRunProblem(kCopyInUseText, directory, kErrorSharingViolation);
      return nullptr;
    }
  }
  // No folder for temporary files to make it in (TEMP names one that is
  // gone); else there to be made, yet never there to be opened: a link that
  // leads nowhere, as Wine shows one.
  if (error == kErrorFileNotFound || error == kErrorPathNotFound) {
    PathBuffer folder;
    DirEntry found;
    if (ReadDirectoryPart(folder, directory) && !LookUpPath(folder, &found)) {
      TellRunProblem(kTempFolderMissingText, folder, error);
    } else {
      TellWhatBlocksTheCopy(directory);
    }
    return nullptr;
  }
  TellRunProblem(error == kErrorSharingViolation ? kCopyInUseText : kCopyNotMadeText, directory,
                 error);
  return nullptr;
}
