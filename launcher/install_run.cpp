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
  return true;
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
