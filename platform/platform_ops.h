// The one interface between the launcher and the system it runs on. Each
// platform folder defines every operation here; the build picks the folder.
// Results follow the Windows calls they stand for: true on success, and on
// failure `ReadLastError` tells why, as a Windows error code.
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
constexpr uint32_t kErrorGenericFailure = 31;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorBadExeFormat = 193;
constexpr uint32_t kErrorFilenameTooLong = 206;

constexpr uint32_t kWaitObjectEnded = 0;
constexpr uint32_t kWaitTimedOut = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;

// Opaque handles; each platform says what stands behind them.
struct PlatformSearch;
struct PlatformFile;
struct PlatformWaitable;
struct PlatformWindow;
struct PlatformInstanceTag;
using SearchHandle = PlatformSearch*;
using FileHandle = PlatformFile*;
using WaitHandle = PlatformWaitable*;
using WindowHandle = PlatformWindow*;
using PlatformInstance = PlatformInstanceTag*;

// ---- Command line ----------------------------------------------------------

// The argument tail of this process. `entryTail` is what the entry point was
// handed; a platform whose start-up computes it by another rule derives the
// tail itself from the full command line.
const char* ReadCommandTail(const char* entryTail);

// ---- Files and directories -------------------------------------------------

// Lists a directory from a pattern "dir\*.*": every entry, "." and ".."
// included. Returns nullptr when the directory cannot be listed. Each entry
// has its name and kind (directory, link, device); a listing may leave its
// length unread, and says so in `lengthKnown`: then LookUpPath gives it.
SearchHandle OpenDirectoryListing(const char* pattern, DirEntry* first);
bool ReadNextEntry(SearchHandle search, DirEntry* entry);
void CloseSearch(SearchHandle search);

// Looks up one path, taken literally; a link is reported as itself. Always
// fills the length.
bool LookUpPath(const char* path, DirEntry* entry);

bool MakeDirectory(const char* path);
// Removes a directory, or a link that stands where a directory is listed.
bool RemoveDirectoryPath(const char* path);
// Fails for a directory and for a read-only file.
bool DeleteFilePath(const char* path);

// Each ends in a separator; a buffer too small is left unfilled (false).
bool ReadTempPath(PathBuffer& out);
bool ReadCurrentDirectory(PathBuffer& out);
bool ChangeCurrentDirectory(const char* path);

// True when `inner` is the directory `outer` or lies anywhere below it,
// judged by the directories' identity, not their spelling.
bool IsDirectoryWithin(const char* inner, const char* outer);
// True for a real directory, no link, that only this user may change.
bool IsPrivateDirectory(const char* path);

// ---- File contents ---------------------------------------------------------

// A buffer for one file's bytes, backed the way the system serves large
// buffers best. Its bytes are not cleared: the read fills what is used.
void* AllocateFileBuffer(std::size_t size);
void ReleaseFileBuffer(void* buffer, std::size_t size);

FileHandle OpenFileForRead(const char* path);
// The size of an open file, in bytes.
bool ReadFileSize(FileHandle file, uint64_t* size);
// Opens a file for writing from its start. With `mustBeNew` it fails when
// anything, a link included, stands at the path; otherwise it truncates.
FileHandle OpenFileForWrite(const char* path, bool mustBeNew);
// Reads until `size` bytes or the end; returns the count, or -1 on error.
int64_t ReadFileBytes(FileHandle file, void* buffer, std::size_t size);
// Writes every byte or fails.
bool WriteFileBytes(FileHandle file, const void* buffer, std::size_t size);
// Closing a written file can report a late write failure.
bool CloseFile(FileHandle file);

// ---- Processes and threads -------------------------------------------------

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

bool CreateProcessFromRequest(const ProcessRequest& request, ProcessRecord* created);

using ThreadRoutine = uint32_t(PLATFORM_CALL*)(void* parameter);
// Starts a thread at once with the default stack; nullptr on failure.
WaitHandle StartThread(const SecurityRecord* security, ThreadRoutine routine, void* parameter,
                       uint32_t* threadId);

// kWaitObjectEnded, kWaitTimedOut or kWaitFailed.
uint32_t WaitForObject(WaitHandle handle, uint32_t milliseconds);
void ReleaseHandle(WaitHandle handle);

uint32_t ReadLastError();

// ---- Message boxes ---------------------------------------------------------

constexpr uint32_t kMessageBoxOk = 0;
constexpr uint32_t kCloseMessage = 0x0010;

// Modal to the calling thread; returns when the box is closed.
int ShowMessageBox(const char* text, const char* title, uint32_t type);
// The first top-level window of that class atom and title put up by that
// thread, or nullptr.
WindowHandle FindThreadWindow(uint16_t classAtom, const char* title, uint32_t threadId);
// Returns once the window's thread has handled the message.
void SendWindowMessage(WindowHandle window, uint32_t message);

// ---- For the vendor's tools -------------------------------------------------
// The launcher itself never calls these.

// Set on a listed entry that is neither a regular file nor a directory: a
// pipe, a device, a socket.
constexpr uint32_t kDeviceAttribute = 0x40;

// Runs a program found on the search path, `arguments[0]` its name and the
// list ending in nullptr, and waits for it. Its exit code, or -1 when it
// could not be started.
int RunSearchedProgram(const char* const* arguments);
// True when the standard error stream is a terminal or console.
bool IsErrorStreamTerminal();
// The full path of the running program.
bool ReadProgramPath(PathBuffer& out);
// How many names this listing left out so far because no launcher path can
// spell them: Linux names holding a backslash or longer than a path.
int CountLeftOutEntries(SearchHandle search);
// Lets a copied program be started directly: Linux needs the execute bits.
bool MarkFileRunnable(const char* path);
