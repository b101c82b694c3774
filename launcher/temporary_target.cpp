#include "launcher/temporary_target.h"

#include "launcher/run_problem.h"
#include "payload/payload_tree.h"

namespace {

// Made again when it vanished meanwhile, or another run took the name in
// the moment between an earlier copy's deletion and the new one.
constexpr int kCopyAttempts = 3;

bool FormatAsidePath(PathBuffer& out, const char* directory, int number) {
  const char suffix[] = {'-', static_cast<char>('0' + number), '\0'};
  return ConcatenatePath(out, directory, suffix);
}

// An earlier copy that cannot be emptied (a file of it still open in
// another program): renamed to the first free aside name, so that this run
// gets a fresh one and that copy's installer is never started.
bool SetEarlierCopyAside(HeldDirectory earlier, const char* directory) {
  for (int number = 1; number <= kAsideNames; ++number) {
    PathBuffer aside;
    if (!FormatAsidePath(aside, directory, number)) return false;
    if (MoveHeldCopyAside(earlier, aside)) return true;
    if (ReadLastError() != kErrorAlreadyExists) return false;
  }
  return false;
}

HeldDirectory CopyTaken(HeldDirectory copy, const char* directory) {
  ClearAsideCopies(directory);
  return copy;
}

}  // namespace

void ClearAsideCopies(const char* directory) {
  for (int number = 1; number <= kAsideNames; ++number) {
    PathBuffer aside;
    if (!FormatAsidePath(aside, directory, number)) return;
    HeldDirectory held = TakeEarlierCopy(aside);
    if (held == nullptr) continue;
    if (EmptyHeldTree(held)) {
      RemoveHeldDirectory(held, aside);
    } else {
      CloseHeldDirectory(held);
    }
  }
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
  TellRunProblem(error == kErrorSharingViolation ? kCopyInUseText : kCopyNotMadeText, directory,
                 error);
  return nullptr;
}
