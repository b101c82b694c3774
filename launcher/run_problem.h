// What the person at the screen is told when a run stops short of starting
// the installer: which folder or file, what happened, what to do.
#pragma once

#include <cstdint>

constexpr char kProblemTitle[] = "Halvern Vantrel";
// Room for two paths' worth of text and the system's words.
constexpr int kProblemTextSize = 1024;

// The run's refusals. Each has one %s for the folder; the ones that tell the
// system's reason a second %s for it.
constexpr char kTargetUnusableText[] =
    "Setup cannot use the folder\n%s\n\nIts path is too long, or it names no folder. "
    "Run setup again with a shorter folder, for example:\nsetup C:\\Install";
constexpr char kSourceUnusableText[] =
    "Setup cannot use the folder it was started from: its path is too long.\n\n"
    "Copy the install files to a folder with a shorter path, and start setup there.";
constexpr char kTargetIsRootText[] =
    "Setup cannot install into\n%s\n\nIt is the root of a drive. "
    "Run setup again with a folder, for example:\nsetup C:\\Install";
constexpr char kTargetHoldsSourceText[] =
    "Setup cannot install into\n%s\n\nThe install files themselves are in it. Run setup again "
    "with a folder outside the install files, for example:\nsetup C:\\Install";
constexpr char kTargetInsideSourceText[] =
    "Setup cannot install into\n%s\n\nIt lies among the install files, which would be copied "
    "into themselves. Run setup again with a folder outside them, for example:\nsetup C:\\Install";
constexpr char kCopyInUseText[] =
    "Setup cannot start: its folder\n%s\nis still in use by another program, perhaps an earlier "
    "setup that is still running.\n\nClose that program, then run setup again.";
constexpr char kCopyNotOwnText[] =
    "Setup cannot start: its folder\n%s\nbelongs to another user, or others may change it.\n\n"
    "Delete that folder, then run setup again.";
// What stands where the copy should be, and is no folder of the user's own:
// it is left as it is, for the person to deal with.
constexpr char kCopyBlockedText[] =
    "Setup cannot start: where its folder\n%s\nshould be, there is %s.\n\nDelete or rename "
    "it, then run setup again.";
constexpr char kBlockedByLinkText[] = "a link to another place";
constexpr char kBlockedByFileText[] = "a file";
constexpr char kBlockedBySomethingText[] = "something that is not a folder";
constexpr char kCopyNotMadeText[] =
    "Setup cannot make its folder\n%s\n\n%s\n\nRun setup again with another folder, for "
    "example:\nsetup C:\\Install";
constexpr char kTempFolderMissingText[] =
    "Setup cannot make its folder in\n%s\n\nThis folder for temporary files does not exist.\n\n"
    "Set TEMP and TMP to a folder that exists, or run setup again with a folder of your own, "
    "for example:\nsetup C:\\Install";
constexpr char kTargetNotMadeText[] =
    "Setup cannot make the folder\n%s\n\n%s\n\nCheck that its drive is there and may be "
    "written to, or run setup again with another folder, for example:\nsetup C:\\Install";

// A copy that lacks a file of the medium is never handed to the installer:
// the file or folder, why, and what to do.
constexpr char kCopyFailedText[] =
    "Setup could not copy\n%s\n\n%s\n\nNothing was installed. Run setup again once this is "
    "put right.";
constexpr char kCopyChangedText[] =
    "Setup could not copy\n%s\n\nIt changed while it was being read.\n\nNothing was "
    "installed. Run setup again once nothing else writes to the installation files.";
constexpr char kCopyTooLargeForTargetText[] =
    "Setup could not copy\n%s\n\nThe drive it goes to cannot hold a file this large (a FAT32 "
    "drive holds at most 4 GB less one byte in one file), or is full.\n\nNothing was "
    "installed. Run setup again with a folder on an NTFS drive with room for it, for "
    "example:\nsetup C:\\Install";

// The restored installer that the system would not start: a medium
// without one, or one that is no program for this system.
constexpr char kInstallerNotStartedText[] =
    "Setup could not start the installer\n%s\n\n%s\n\nNothing was installed. Check that "
    "the installation files are complete and made for this system, then run setup again.";

// Shows a box with `format`, the launcher's own text, in which the first %s
// stands for `subject` (a folder or file) and a second, where there is one,
// for the system's own words about `error`. Returns when it is closed.
void TellRunProblem(const char* format, const char* subject, uint32_t error);
// The same, with `detail`, the launcher's own words, for the second %s.
void TellRunProblemWith(const char* format, const char* subject, const char* detail);
