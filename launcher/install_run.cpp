#include "launcher/install_run.h"

#include "installer/installer_launch.h"
#include "notice/copy_notice.h"
#include "payload/payload_tree.h"

namespace {

// A temporary target that is a link, or one that another user can change,
// could aim the run's installer or its removal at anything.
bool IsTrustedTarget(const InstallTarget& target) {
  return target.temporaryFlag != 1 || IsPrivateDirectory(target.directory);
}

// Creates the target and takes the source. False when the run is refused;
// nothing is then left behind that the run made.
bool PrepareInstallRun(const char* argument, InstallTarget* target, PathBuffer& source) {
  if (!ChooseTargetDirectory(argument, target)) return false;
  if (!ReadCurrentDirectory(source)) return false;
  const bool created = MakeDirectory(target->directory);
  // Restoring into the source itself, or below it, would copy the copy, and
  // later start the launcher in place of the installer.
  if (IsDirectoryWithin(target->directory, source) || !IsTrustedTarget(*target)) {
    if (created) RemoveDirectoryPath(target->directory);
    return false;
  }
  if (created || target->temporaryFlag != 1) return true;
  // A temporary copy left by an earlier run (one whose installer outlived
  // the wait holds its SETUP.EXE open) would keep that run's installer and
  // files, since nothing is overwritten: this run would start the wrong
  // installer. The copy is the run's own to remove; it goes first.
  RemoveTree(target->directory);
  MakeDirectory(target->directory);
  return IsTrustedTarget(*target);
}

}  // namespace

void RunInstall(const char* argument) {
  InstallTarget target;
  PathBuffer source;
  if (!PrepareInstallRun(argument, &target, source)) return;

  CopyNotice notice = StartCopyNotice();
  CopyPayloadTree(source, target.directory);
  CloseCopyNotice(&notice);
  RunRestoredInstaller(target.directory);
  if (target.temporaryFlag == 1) RemoveTemporaryCopy(target.directory);
}
