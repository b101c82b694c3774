#include "launcher/install_run.h"

#include "installer/installer_launch.h"
#include "launcher/payload_loss_box.h"
#include "launcher/run_problem.h"
#include "launcher/temporary_target.h"
#include "notice/copy_notice.h"
#include "payload/payload_tree.h"

namespace {

// A root as target would take the whole drive; a medium inside the target
// would be written into, and a temporary one cleared and removed with it.
bool IsTargetAroundSource(const char* target, const char* source) {
  if (IsFileSystemRoot(target)) {
    TellRunProblem(kTargetIsRootText, target, 0);
    return true;
  }
  if (IsDirectoryWithin(source, target)) {
    TellRunProblem(kTargetHoldsSourceText, target, 0);
    return true;
  }
  return false;
}

// Restoring into the source itself, or below it, would copy the copy, and
// later start the launcher in place of the installer. A target not yet made
// lies where its folder does.
bool IsTargetInsideSource(const char* target, const char* source) {
  DirEntry found;
  PathBuffer folder;
  if (LookUpPath(target, &found)) return IsDirectoryWithin(target, source);
  return ReadDirectoryPart(folder, target) && IsDirectoryWithin(folder, source);
}

// A named target that could not be made (`error` says why) is told, unless
// a folder stands there already: the user's to install into. Anything else
// would fail every file of the medium, which is not the medium's fault.
bool TellTargetNotMade(const char* directory, uint32_t error) {
  DirEntry found;
  if (error == kErrorAlreadyExists && LookUpPath(directory, &found) && IsDirectoryEntry(found)) {
    return false;
  }
  TellRunProblem(kTargetNotMadeText, directory,
                 error == kErrorAlreadyExists ? kErrorDirectory : error);
  return true;
}

// Creates the target and takes the source. False when the run is refused,
// after the person has been told why; nothing is then left behind that the
// run made. `held` is the temporary copy, held from its making to its
// removal: its hold is what keeps a second launcher out.
bool PrepareInstallRun(const char* argument, InstallTarget* target, PathBuffer& source,
                       HeldDirectory* held) {
  if (!ChooseTargetDirectory(argument, target)) {
    TellRunProblem(kTargetUnusableText, argument[0] != '\0' ? argument : "for temporary files", 0);
    return false;
  }
  if (!ReadCurrentDirectory(source)) {
    TellRunProblem(kSourceUnusableText, "", 0);
    return false;
  }
  if (IsTargetAroundSource(target->directory, source)) return false;
  // Asked before anything is made or taken: a temporary copy there would
  // be taken from the medium's own files and cleared.
  if (IsTargetInsideSource(target->directory, source)) {
    TellRunProblem(kTargetInsideSourceText, target->directory, 0);
    return false;
  }

  const bool temporary = target->temporaryFlag == 1;
  if (temporary) {
    *held = TakeTemporaryCopy(target->directory);
    if (*held == nullptr) return false;
  }
  const bool created = temporary || MakeDirectory(target->directory);
  if (!created && TellTargetNotMade(target->directory, ReadLastError())) return false;
  // Asked again of what was made: a folder on the way may have changed.
  if (!IsDirectoryWithin(target->directory, source)) return true;
  if (temporary) {
    RemoveTemporaryCopy(*held, target->directory);
    *held = nullptr;
  } else if (created) {
    RemoveDirectoryPath(target->directory);
  }
  TellRunProblem(kTargetInsideSourceText, target->directory, 0);
  return false;
}

// Ended, still running when the wait ran out, or past a wait that failed:
// every other result is the error that kept it from starting.
bool IsInstallerStarted(uint32_t launched) {
  return launched == kWaitObjectEnded || launched == kWaitTimedOut || launched == kWaitFailed;
}

void TellInstallerNotStarted(const char* directory, uint32_t error) {
  PathBuffer installer;
  // A path that does not fit is what kept it from starting: the folder then.
  if (!JoinPath(installer, directory, kInstallerFileName)) CopyPath(installer, directory);
  TellRunProblem(kInstallerNotStartedText, installer, error);
}

}  // namespace

void RunInstall(const char* argument) {
  InstallTarget target;
  PathBuffer source;
  HeldDirectory held = nullptr;
  if (!PrepareInstallRun(argument, &target, source, &held)) return;
  CopyNotice notice = StartCopyNotice();
  PayloadLoss lost = {{kLossNone, 0}, ""};
  CopyPayloadTreeNotingLoss(source, target.directory, &lost);
  CloseCopyNotice(&notice);
  // An installer started from a copy with a file missing would fail, or
  // install less than the medium holds, and seem to have succeeded.
  const bool whole = lost.loss.kind == kLossNone;
  const uint32_t launched = whole ? RunRestoredInstaller(target.directory) : kWaitObjectEnded;
  // Through the held copy only: a folder swapped into its place during the
  // run is another's, and is left alone.
  if (target.temporaryFlag == 1) RemoveTemporaryCopy(held, target.directory);
  if (!whole) TellPayloadLoss(lost);
  if (!IsInstallerStarted(launched)) TellInstallerNotStarted(target.directory, launched);
}
