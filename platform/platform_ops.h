// The one interface between the launcher and the system it runs on. Each
// platform folder defines every operation here; the build picks the folder.
// Each section below names its file in each body: "directories_*.cpp" is
// directories_posix.cpp and directories_win32.cpp.
// Results follow the Windows calls they stand for: true on success, and on
// failure `ReadLastError` tells why, as a Windows error code. "Fails with"
// names the codes the launcher can meet, in both bodies unless a platform is
// named; anything else the system reports comes as it is on Windows, and on
// Linux as its errno under bit 29 (the bit of applications' own codes, which
// no Windows code has), so that DescribeError gives the system's words.
// "2 or 3": Linux says 2 for a missing file and a missing folder on the way
// alike, where Windows says 3 for the folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/paths.h"
#include "platform_abi.h"  // PLATFORM_CALL, from the platform's folder

// Windows error codes the launcher names; every platform reports these.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorBadFormat = 11;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorGenericFailure = 31;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorBadExeFormat = 193;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr uint32_t kErrorFileTooLarge = 223;
constexpr uint32_t kErrorDirectory = 267;  // no directory of its own stands there

constexpr uint32_t kWaitObjectEnded = 0;
constexpr uint32_t kWaitTimedOut = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;

// Opaque handles; each platform says what stands behind them.
struct PlatformSearch;
struct PlatformFile;
struct PlatformWaitable;
struct PlatformWindow;
struct PlatformInstanceTag;
struct PlatformHeldDirectory;
using SearchHandle = PlatformSearch*;
using FileHandle = PlatformFile*;
using WaitHandle = PlatformWaitable*;
using WindowHandle = PlatformWindow*;
using PlatformInstance = PlatformInstanceTag*;
using HeldDirectory = PlatformHeldDirectory*;

// ---- The program's entry ---------------------------------------------------

// Defined by the launcher, and called by the platform's start-up with the
// command-line tail (on Windows, the C runtime's); returns the exit code.
extern "C" int PLATFORM_CALL WinMain(PlatformInstance instance, PlatformInstance previous,
                                     char* commandLine, int showCommand);

// ---- Command line: command_line_*.cpp --------------------------------------

// The argument tail of this process. `entryTail` is what the entry point was
// handed; a platform whose start-up computes it by another rule derives the
// tail itself from the full command line.
const char* ReadCommandTail(const char* entryTail);

// Help switches this platform's users expect beside the launcher's own:
// "--help" and "-h" on Linux; none on Windows.
bool IsPlatformHelpSwitch(const char* argument);

// Keeps the launcher's own DLL search to the system directory, so that no
// DLL beside it on the medium or in the current directory is ever loaded;
// programs it starts search as they would have. Nothing to do on Linux.
void RestrictLibrarySearch();

// ---- Files and directories: directories_*.cpp ------------------------------
// What Linux fills of a DirEntry: the name, the attribute bits 0x10
// (directory), 0x400 (link), 0x40 (neither file nor directory), 0x20
// (regular file) and, from a look-up, 0x01 (no owner-write bit); Windows
// gives the system's whole attribute word.

// Lists a directory from a pattern "dir\*.*": every entry, "." and ".."
// included. Each entry has its name and kind (directory, link, device); a
// listing may leave its length unread, and says so in `lengthKnown`: then
// LookUpPath gives it. Returns nullptr when the directory cannot be listed:
// fails with 2 or 3 (absent), 5, 206.
SearchHandle OpenDirectoryListing(const char* pattern, DirEntry* first);
// False at the end, with 18 (kErrorNoMoreFiles), or when the listing broke
// off (a damaged disc, a share that dropped, an entry whose details could
// not be read) with any other code: the entries past it were never read.
bool ReadNextEntry(SearchHandle search, DirEntry* entry);
void CloseSearch(SearchHandle search);
// How many names this listing left out so far because no launcher path can
// spell them: Linux names holding a backslash or longer than a path.
int CountLeftOutEntries(SearchHandle search);

// Looks up one path, taken literally; a link is reported as itself. Always
// fills the length. Fails with 2, 3, 206.
bool LookUpPath(const char* path, DirEntry* entry);

// Fails with 183 (it exists), 2 or 3 (no parent), 5, 206.
bool MakeDirectory(const char* path);
// Removes a directory, or a link that stands where a directory is listed.
// Fails with 145 (not empty), 2, 3, 5; on Windows also 32 (in use).
bool RemoveDirectoryPath(const char* path);
// Fails with 5 for a directory and for a read-only file (and on Windows for
// a file held open without delete sharing), 2, 3.
bool DeleteFilePath(const char* path);

// Ends in a separator; a buffer too small is left unfilled (false, 206).
bool ReadTempPath(PathBuffer& out);
// No trailing separator except at a root (C:\ or /). False, with the buffer
// left empty, when it does not fit, or when no launcher path can spell it
// (a Linux name holding a backslash: kErrorInvalidName).
bool ReadCurrentDirectory(PathBuffer& out);
// Fails with 2, 3, 5, 206.
bool ChangeCurrentDirectory(const char* path);

// ---- Directory identity: directory_identity_*.cpp --------------------------
// Answers, not failures: neither sets a code the caller reads.

// True when `inner` is the directory `outer` or lies anywhere below it,
// judged by the directories' identity, not their spelling: the real parents
// of what was opened are followed up to and including the root, so case,
// doubled separators, "..", links and junctions cannot fool it; on Linux a
// file system mounted below `outer` that shows `inner` (a bind mount) puts
// it within too. False when either cannot be opened.
bool IsDirectoryWithin(const char* inner, const char* outer);
// True for the root of a drive or file system (Linux: "/" or a mount point;
// Windows: a drive, share or mounted-volume root).
bool IsFileSystemRoot(const char* path);

// A directory as the system knows it, whatever spells it: device and inode
// on Linux, volume serial and file index on Windows.
struct DirectoryIdentity {
  uint64_t volume;
  uint64_t index;
};
// False when `path` cannot be opened.
bool ReadDirectoryIdentity(const char* path, DirectoryIdentity* identity);
// True when `inner` or one of its real parents, up to and including the
// root, is one of the `count` directories `outers`, followed as
// IsDirectoryWithin follows them; a directory mounted elsewhere (a bind
// mount) is itself, so naming every directory of a tree catches any mount
// of any of them. False when `inner` cannot be opened.
bool IsDirectoryBelowAny(const char* inner, const DirectoryIdentity* outers, std::size_t count);

// ---- The temporary copy: temporary_copy_*.cpp ------------------------------
// The run's copy is its own lock. It is held from its creation to its
// removal so that no other opener can take it (Windows: held without delete
// sharing, so a second open for deletion fails with a sharing violation;
// Linux: an exclusive flock on the copy's own descriptor). Every spelling of
// the folder (another drive letter, a bind mount, a short name) meets the
// same lock, two different folders never share one, and there is no name
// anybody could take first. It ends with the hold, or with the process
// however that ends, and a started program never inherits it.

// Creates the temporary copy's directory, held and locked in one step, so
// that there is no moment in which it exists unheld: Windows creates it
// without delete sharing (so that it cannot be renamed or replaced by a
// junction) and, for an elevated run, with a protected access list, full
// control for Administrators and SYSTEM only, inherited below it (only real
// Windows enforces this); Linux makes it 0700, opens and locks it at once.
// Fails with 183 (it exists), 2 or 3 (no parent), 5, 8, 206; on Linux 32
// when another run locked it in the instant after it was made.
HeldDirectory CreatePrivateDirectory(const char* path);

// Takes a copy that an earlier run left, to clear it: held and locked as
// above (Windows opens it for deletion, without delete sharing), and trusted:
// a real directory, no link or junction, owned by this user (or, elevated on
// Windows, by Administrators or SYSTEM), that nobody else may change (Linux:
// no group or other write bit; Windows: every access entry that grants a
// change names the owner, this user, Administrators or SYSTEM). What is held
// must lie where it was named: the folder's own name, read back from its
// handle, and the copy's name after it, on the same volume (Wine opens a
// Unix link as what it leads to, whatever the flag asks); Linux checks after
// the lock that the name still leads to the held directory, and that it
// still has links. The same proofs hold for CreatePrivateDirectory. nullptr
// when a run or another program holds it (32), when it is not trusted (5),
// when what stands there is no directory of its own: a link, junction, file
// or device (267), when it is absent or went before it was locked (2, 3) or
// out of memory (8).
HeldDirectory TakeEarlierCopy(const char* path);

// What identifies a held directory on its volume, as 16 hex digits, kept by
// a rename: the name of a copy set aside carries it, so that only a copy the
// launcher set aside is ever taken as one.
constexpr int kHeldIdentitySize = 17;
void FormatHeldIdentity(HeldDirectory held, char (&out)[kHeldIdentitySize]);

// Makes an emptied earlier copy the run's new one. Windows deletes it through
// its hold and creates it anew, so that it gets a new copy's access list;
// Linux keeps it, made owner-only. `emptied` is given up in every case;
// nullptr and its error as CreatePrivateDirectory.
HeldDirectory RenewEarlierCopy(HeldDirectory emptied, const char* path);

// Renames a held copy that could not be emptied to `asidePath`, a free name
// in the same folder, through its hold, which it keeps. Fails with 183 (the
// name is taken), 5 or 32 (the system will not move it: Windows does not
// rename a folder below which a file is open).
bool MoveHeldCopyAside(HeldDirectory held, const char* asidePath);

// Deletes the held directory itself, once emptied, through a handle checked
// to be that very directory and no link (a folder swapped into its place is
// another's, and stays), and gives up the hold in every case. True when it
// is gone. `path` is where it was made, for a platform that must open it
// anew for the deletion: Windows, where the run's own copy cannot be held
// with delete access, since the installer's current directory lies in it.
bool RemoveHeldDirectory(HeldDirectory held, const char* path);

// ---- Removal through held directories: removal_*.cpp ----------------------
// A removal never goes through a path that could be re-pointed between a
// check and a use: every entry is reached by its name in a directory held
// open, a link or junction is removed as itself and never entered, and Linux
// never enters another file system mounted inside. A held directory from
// here or from the section above serves as the parent of all of these.
// Attributes do not stop it: what the run's copy holds is the run's own.

// A name in a held directory, as the system gives it and takes it back: the
// bytes of a Linux name, the UTF-16 units of a Windows one. No code page
// stands between, so every name comes whole; only the platform reads it.
constexpr std::size_t kHeldNameBytes = 512;  // 255 UTF-16 units, or 255 bytes
struct HeldName {
  uint16_t size;  // bytes used
  unsigned char bytes[kHeldNameBytes];
};

// One entry of a held directory: its name and the attribute bits 0x10
// (directory), 0x400 (link, junction or other reparse point) and 0x01
// (read-only, Windows).
struct HeldEntry {
  HeldName name;
  uint32_t attributes;
};

// Holds the directory at `path` for removing what is in it (no trust
// check). Fails for a link or junction, or what is no directory (5, 2, 3).
HeldDirectory OpenDirectoryForRemoval(const char* path);
// Holds the directory `name` of `parent` the same way, checked to lie in
// `parent` (Windows: on its volume, under its name exactly); fails also for
// a Linux mount point.
HeldDirectory OpenChildDirectory(HeldDirectory parent, const HeldName& name);
// The next entry of a held directory, "." and ".." left out; false at the
// end. Linux first gives a folder whose owner may not change it owner
// rights, through its descriptor: emptying it needs them.
bool ReadHeldEntry(HeldDirectory directory, HeldEntry* entry);
// Starts the listing again from its first entry: a file system may move
// entries past the point reached when others are deleted.
void RewindHeldDirectory(HeldDirectory directory);
// Deletes the file or file link `name` of `parent`, a link as itself, a
// read-only file too: Windows clears the attribute through the checked
// handle when the file has a single link, else deletes it ignoring the
// attribute where the system can, else leaves it (the attribute belongs to
// every name of the file). Fails with 5 (and on Windows 32 for a file held
// open without delete sharing) or for what is no longer a file there.
bool DeleteChildFile(HeldDirectory parent, const HeldName& name);
// Removes the empty directory, or the directory link or junction, `name` of
// `parent`, read-only or not. Fails with 145 (not empty), 5; on Windows also
// 32 (in use).
bool RemoveChildDirectory(HeldDirectory parent, const HeldName& name);
// A walk deeper than the system lets a process hold directories open lets
// go of the ones far above it: Suspend keeps what identifies the directory
// and where its listing stood, and Resume holds it again through `child`'s
// parent link, true only when that is the very directory suspended, its
// listing going on where it stood. Linux, where descriptors run out at a
// few hundred levels, does so; Windows keeps its handles (millions a
// process, more than a path of 32,767 units has levels) and does nothing.
void SuspendHeldDirectory(HeldDirectory directory);
bool ResumeHeldDirectory(HeldDirectory directory, HeldDirectory child);
// Closes a directory held by one of the calls of this or the section above.
void CloseHeldDirectory(HeldDirectory directory);

// ---- File contents: file_io_*.cpp ------------------------------------------

// A buffer for one file's bytes, a piece long at most. Its bytes are not
// cleared: the read fills what is used.
void* AllocateFileBuffer(std::size_t size);
void ReleaseFileBuffer(void* buffer, std::size_t size);
// Whether the processor and the system let this program use SSE2's 16-byte
// registers: a 32-bit x86 program cannot assume them, the oldest processors
// its Windows runs on lack them. Cheap enough to ask for every file.
bool CanUseSse2();

// Fails with 2, 3, 5, 206.
FileHandle OpenFileForRead(const char* path);
// The size of an open file, in bytes.
bool ReadFileSize(FileHandle file, uint64_t* size);
// Opens a file for writing from its start. With `mustBeNew` it fails when
// anything, a link included, stands at the path (80 on Windows, 183 on
// Linux); otherwise it truncates. Also fails with 3, 5, 206.
FileHandle OpenFileForWrite(const char* path, bool mustBeNew);
// Reads until `size` bytes or the end; returns the count, or -1 on error.
int64_t ReadFileBytes(FileHandle file, void* buffer, std::size_t size);
// Writes every byte or fails: 112 for a full disk (Windows also at FAT32's
// 4 GiB mark), 223 for a file longer than the file system or the process's
// file-size limit holds, 5.
bool WriteFileBytes(FileHandle file, const void* buffer, std::size_t size);
// Closing a written file can report a late write failure.
bool CloseFile(FileHandle file);

// A file written under no name of its own, which takes its name only once
// whole, so that a run that ends however it ends (killed, a power cut on
// Linux) leaves no file cut short under a name a later run would keep.
// Linux: unnamed in the destination's folder (O_TMPFILE), gone with the
// process. Windows: a private name in that folder, marked for deletion so
// that it goes when the process does, however it ends. Where the file
// system offers neither, the file is made at `path` itself, as
// OpenFileForWrite makes a new one, and `named` says so.
struct PendingFile {
  FileHandle file;
  bool named;
};
// Fails as OpenFileForWrite with `mustBeNew`, but for a name taken at `path`
// meanwhile, which NamePendingFile meets.
bool CreatePendingFile(const char* path, PendingFile* pending);
// Gives the whole file its name `path`, never replacing what stands there
// (then 183), and closes it; on any failure nothing
// of it is left.
bool NamePendingFile(PendingFile* pending, const char* path);
// Closes it, leaving nothing of it at `path` nor elsewhere.
void DiscardPendingFile(PendingFile* pending, const char* path);

// ---- Processes: processes_*.cpp --------------------------------------------
// The records are the Windows ones, passed on whole there. Linux uses of a
// ProcessRequest only the application name (looked up in the current
// directory alone, letter case ignored; of several spellings there, the one
// the command line's program path names), the command line (split at blanks)
// and the current directory: the security records, handle inheritance and
// creation flags have no Linux meaning (the program always starts detached,
// in a session of its own, with standard input from /dev/null, and inherits
// no descriptor of the platform's own), nor has the start-up record. Its
// ProcessRecord's thread is a second handle on the process, and its thread
// identifier is the process's.

constexpr uint32_t kSecurityRecordLength = 12;

struct SecurityRecord {
  uint32_t length;
  void* descriptor;
  int32_t inheritHandle;
};

struct StartupRecord {
  uint32_t length;
  const char* title;
  uint32_t flags;
  uint16_t showWindow;
};

struct ProcessRequest {
  const char* applicationName;
  char* commandLine;
  const SecurityRecord* processSecurity;
  const SecurityRecord* threadSecurity;
  int32_t inheritHandles;
  uint32_t creationFlags;
  const char* currentDirectory;
  const StartupRecord* startup;
};

struct ProcessRecord {
  WaitHandle process;
  WaitHandle thread;
  uint32_t processId;
  uint32_t threadId;
};

// Fails with 2 (no such program), 3 or 267 (no such directory), 193 (not a
// program), 5, 8, 206.
bool CreateProcessFromRequest(const ProcessRequest& request, ProcessRecord* created);

// kWaitObjectEnded, kWaitTimedOut or kWaitFailed (then 6: no such handle).
uint32_t WaitForObject(WaitHandle handle, uint32_t milliseconds);
void ReleaseHandle(WaitHandle handle);

// ---- Threads: threads_*.cpp ------------------------------------------------
// Linux ignores the security record: its threads have no handle to inherit.

using ThreadRoutine = uint32_t(PLATFORM_CALL*)(void* parameter);
// Starts a thread at once with the default stack; nullptr on failure (8).
WaitHandle StartThread(const SecurityRecord* security, ThreadRoutine routine, void* parameter,
                       uint32_t* threadId);

// ---- Errors: errors_*.cpp --------------------------------------------------

// The calling thread's last failure, as a Windows error code.
uint32_t ReadLastError();
// The system's own words for an error code, one line ending in a period,
// always terminated within `size`: what a person is shown about a failure.
void DescribeError(uint32_t code, char* out, std::size_t size);

// ---- Message boxes: message_box_*.cpp --------------------------------------

constexpr uint32_t kMessageBoxOk = 0;
constexpr uint32_t kMessageBoxError = 0x10;  // the stop sign beside the text
constexpr uint32_t kCloseMessage = 0x0010;

// Modal to the calling thread; returns when the box is closed.
int ShowMessageBox(const char* text, const char* title, uint32_t type);
// The first top-level window of that class atom and title put up by that
// thread, or nullptr.
WindowHandle FindThreadWindow(uint16_t classAtom, const char* title, uint32_t threadId);
// Returns once the window's thread has handled the message.
void SendWindowMessage(WindowHandle window, uint32_t message);

// ---- For the vendor's tools: tool_support_*.cpp ----------------------------
// The launcher itself never calls these.

// Set on a listed entry that is neither a regular file nor a directory: a
// pipe, a device, a socket.
constexpr uint32_t kDeviceAttribute = 0x40;

constexpr int kProgramNotStarted = -1;
constexpr int kProgramOverran = -2;
constexpr int kProgramStopped = -3;

// Runs a program found on the search path, `arguments[0]` its name and the
// list ending in nullptr, in a process group of its own (a job on Windows),
// and waits for it: at most `limitSeconds` (0: no limit), and only until a
// stop is asked (see WatchStopRequests); then it and every process it
// started are ended. Its exit code, kProgramNotStarted, kProgramOverran or
// kProgramStopped.
int RunSearchedProgram(const char* const* arguments, uint32_t limitSeconds);
// From the call on, an interrupt, a termination or a hang-up (Windows:
// Ctrl+C, Ctrl+Break, the console closed) no longer ends the process: it is
// kept as a request to stop, which the tool reads and ends on, cleanly.
void WatchStopRequests();
// 0 while no stop was asked; else the signal's number: 2 an interrupt
// (Ctrl+C), 15 a termination, 1 a hang-up (the console closed), 21 Ctrl+Break.
int ReadStopRequest();
// "SIGINT", "SIGTERM", "SIGHUP", or "Ctrl+C", "Ctrl+Break", "the console's close".
const char* DescribeStopRequest(int signal);
// True when the standard error stream is a terminal or console.
bool IsErrorStreamTerminal();
// The full path of the running program.
bool ReadProgramPath(PathBuffer& out);
// Lets a copied program be started directly: Linux needs the execute bits.
bool MarkFileRunnable(const char* path);
// Puts a file in the place of another in one step, replacing what stood there.
bool ReplaceFilePath(const char* from, const char* to);
// The separator of the paths this system shows its users: '/' on Linux.
char ReadHostSeparator();
// Creates a new directory in `parent` (ending in a separator) named `prefix`
// and characters nobody can foresee, so that no one can take its name first;
// its path in `out`. Fails with 5, 2 or 3, 206.
bool MakeUniqueDirectory(PathBuffer& out, const char* parent, const char* prefix);

// ---- The tools' output: tool_output_*.cpp ----------------------------------
// A tool's text is the system's own narrow text: UTF-8 on Linux, the ANSI
// code page on Windows, where a pipe or a file (a CI log) would get names in
// that code page. From StartToolOutput to FinishToolOutput, Windows hands
// what the C runtime writes to standard output and error on as wide
// characters to a console and as UTF-8 to anything else; Linux passes it as
// it is. Called once each, by the tool's main alone.

struct PlatformToolOutput;
using ToolOutput = PlatformToolOutput*;
ToolOutput StartToolOutput();
// Flushes the C runtime's streams and hands on what is left; nullptr is
// taken.
void FinishToolOutput(ToolOutput output);

// ---- Code pages (for the vendor's tools): code_pages_*.cpp -----------------
// Names below are the system's own: UTF-8 on Linux, the ANSI code page on
// Windows.

// True when names can be converted to and from that Windows code page here.
bool IsCodePageAvailable(uint32_t codePage);
// True when the code page holds the name whole: converted there and back it
// is the same name, no character replaced, fitted or decomposed.
bool IsNameInCodePage(const char* name, uint32_t codePage);
// The name upper-cased one UTF-16 unit at a time, as Windows file systems
// compare names, in UTF-8. False for a name the system cannot convert, or an
// `out` too small.
bool FoldNameCase(const char* name, char* out, std::size_t size);
