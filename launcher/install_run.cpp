#include "launcher/install_run.h"

#include "installer/installer_launch.h"
#include "launcher/payload_loss_box.h"
#include "notice/copy_notice.h"
#include "payload/payload_tree.h"

namespace {

// What keeps the temporary copy the run's own: the lock that keeps a second
// launcher out, and the copy held open from its creation to its removal.
struct CopyGuards {
  RunLockHandle lock;
  HeldDirectory held;
};

// A root as target would take the whole drive; a medium inside the target
// would be written into, and a temporary one cleared and removed with it.
bool IsTargetAroundSource(const char* target, const char* source) {
  return IsFileSystemRoot(target) || IsDirectoryWithin(source, target);
}

// Clears a copy left by an earlier run and makes the directory anew, held.
// A copy that cannot be cleared completely (one whose installer outlived the
// wait holds its SETUP.EXE open, or a read-only file) would keep that run's
// installer, since nothing is overwritten: the run is refused instead.
HeldDirectory ClearEarlierCopy(const char* directory) {
  HeldDirectory earlier = HoldPrivateDirectory(directory);
  if (earlier == nullptr) return nullptr;
  RemoveTemporaryCopy(earlier, directory);
  return CreatePrivateDirectory(directory);
}

// The temporary copy, created and held in one step, or an earlier one
// cleared first.
HeldDirectory MakeTemporaryCopy(const char* directory) {
  HeldDirectory made = CreatePrivateDirectory(directory);
  if (made == nullptr && ReadLastError() == kErrorAlreadyExists) {
    made = ClearEarlierCopy(directory);
  }
  return made;
}

// Creates the target and takes the source. False when the run is refused;
// nothing is then left behind that the run made.
bool PrepareInstallRun(const char* argument, InstallTarget* target, PathBuffer& source,
                       CopyGuards* guards) {
  if (!ChooseTargetDirectory(argument, target)) return false;
  if (!ReadCurrentDirectory(source)) return false;
  const bool temporary = target->temporaryFlag == 1;
  // Two runs on one temporary copy would clear and remove each other's files.
  if (temporary && (guards->lock = TakeRunLock(target->directory)) == nullptr) return false;
  if (IsTargetAroundSource(target->directory, source)) return false;

  if (temporary) {
    guards->held = MakeTemporaryCopy(target->directory);
    if (guards->held == nullptr) return false;
  }
  const bool created = temporary || MakeDirectory(target->directory);
  // Restoring into the source itself, or below it, would copy the copy, and
  // later start the launcher in place of the installer.
  if (!IsDirectoryWithin(target->directory, source)) return true;
  if (temporary) {
    RemoveTemporaryCopy(guards->held, target->directory);
    guards->held = nullptr;
  } else if (created) {
    RemoveDirectoryPath(target->directory);
  }
  return false;
}

}  // namespace

void RunInstall(const char* argument) {
  InstallTarget target;
  PathBuffer source;
  CopyGuards guards = {nullptr, nullptr};
  if (PrepareInstallRun(argument, &target, source, &guards)) {
    CopyNotice notice = StartCopyNotice();
    PayloadLoss lost = {{kLossNone, 0}, ""};
    CopyPayloadTreeNotingLoss(source, target.directory, &lost);
    CloseCopyNotice(&notice);
    // An installer started from a copy with a file missing would fail, or
    // install less than the medium holds, and seem to have succeeded.
    const bool whole = lost.loss.kind == kLossNone;
    if (whole) RunRestoredInstaller(target.directory);
    // Through the held copy only: a folder swapped into its place during the
    // run is another's, and is left alone.
    if (target.temporaryFlag == 1) RemoveTemporaryCopy(guards.held, target.directory);
    if (!whole) TellPayloadLoss(lost);
  }
  ReleaseRunLock(guards.lock);
}
