#include <cstdlib>

#include "platform/win32/nt_files_win32.h"
#include "platform/win32/win32_handles.h"

namespace {

constexpr DWORD kLargestTransfer = DWORD{1} << 30;

}  // namespace

// The loop's buffers are a piece at most: the heap serves them, and keeps
// their pages from one file to the next.
void* AllocateFileBuffer(std::size_t size) { return std::malloc(size); }

void ReleaseFileBuffer(void* buffer, std::size_t /*size*/) { std::free(buffer); }

// Read from the system's page shared with every process: no call into the
// kernel.
bool CanUseSse2() { return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0; }

FileHandle OpenFileForRead(const char* path) {
  return FromWin32Handle<FileHandle>(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                                 nullptr));
}

bool ReadFileSize(FileHandle file, uint64_t* size) {
  LARGE_INTEGER found;
  if (!GetFileSizeEx(ToWin32Handle(file), &found)) return false;
  *size = static_cast<uint64_t>(found.QuadPart);
  return true;
}

FileHandle OpenFileForWrite(const char* path, bool mustBeNew) {
  return FromWin32Handle<FileHandle>(CreateFileA(path, GENERIC_WRITE, 0, nullptr,
                                                 mustBeNew ? CREATE_NEW : CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}

int64_t ReadFileBytes(FileHandle file, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const std::size_t left = size - done;
    const DWORD want = left < kLargestTransfer ? static_cast<DWORD>(left) : kLargestTransfer;
    DWORD got = 0;
    if (!ReadFile(ToWin32Handle(file), bytes + done, want, &got, nullptr)) return -1;
    done += got;
    // A disk file reads short only at its end: asking again would only hear
    // the end once more, one more call for every file restored.
    if (got < want) break;
  }
  return static_cast<int64_t>(done);
}

bool WriteFileBytes(FileHandle file, const void* buffer, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const std::size_t left = size - done;
    const DWORD want = left < kLargestTransfer ? static_cast<DWORD>(left) : kLargestTransfer;
    DWORD put = 0;
    if (!WriteFile(ToWin32Handle(file), bytes + done, want, &put, nullptr) || put == 0) {
      return false;
    }
    done += put;
  }
  return true;
}

bool CloseFile(FileHandle file) { return CloseHandle(ToWin32Handle(file)) != 0; }

namespace {

constexpr int kPrivateNameAttempts = 16;

// A name in `path`'s folder that no one foresees, "~vt" and eight hex
// digits of the process and the moment.
bool FormatPrivatePath(PathBuffer& out, const char* path, DWORD seed) {
  PathBuffer folder;
  char name[16];
  constexpr char kDigits[] = "0123456789abcdef";
  name[0] = '~';
  name[1] = 'v';
  name[2] = 't';
  for (int i = 0; i < 8; ++i) name[3 + i] = kDigits[(seed >> (28 - 4 * i)) & 0xF];
  name[11] = '\0';
  return ReadDirectoryPart(folder, path) && JoinPath(out, folder, name);
}

}  // namespace

bool CreatePendingFile(const char* path, PendingFile* pending) {
  NtFileCalls calls;
  PathBuffer privatePath;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (FindNtFileCalls(&calls)) {
    DWORD seed = GetCurrentProcessId() * 0x9E3779B1u ^ GetTickCount();
    for (int attempt = 0; attempt < kPrivateNameAttempts && file == INVALID_HANDLE_VALUE;
         ++attempt, seed = seed * 1103515245u + 12345u) {
      if (!FormatPrivatePath(privatePath, path, seed)) break;
      file = CreateFileA(privatePath, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
  }
  // Marked at once: from here the file goes with the process, however it
  // ends, for the system closes its handles.
  if (file != INVALID_HANDLE_VALUE && MarkNtFileDeleted(calls, file, true)) {
    *pending = {FromWin32Handle<FileHandle>(file), false};
    return true;
  }
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    DeleteFileA(privatePath);
  } else if (GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_ACCESS_DENIED) {
    // No folder to make it in, or none it may be made in: the name fails alike.
    return false;
  }
  *pending = {OpenFileForWrite(path, true), true};
  return pending->file != nullptr;
}

bool NamePendingFile(PendingFile* pending, const char* path) {
  HANDLE file = ToWin32Handle(pending->file);
  if (!pending->named) {
    NtFileCalls calls;
    // The mark taken back only for the rename: a run ended between the two
    // leaves a whole file under its private name.
    bool named = FindNtFileCalls(&calls) && MarkNtFileDeleted(calls, file, false);
    if (named && !RenameNtFile(calls, file, path)) {
      const DWORD error = GetLastError();
      (void)MarkNtFileDeleted(calls, file, true);
      SetLastError(error);
      named = false;
    }
    if (!named) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      SetLastError(error);
      return false;
    }
  }
  if (CloseHandle(file)) return true;
  const DWORD late = GetLastError();
  DeleteFileA(path);
  SetLastError(late);
  return false;
}

void DiscardPendingFile(PendingFile* pending, const char* path) {
  CloseFile(pending->file);
  if (pending->named) DeleteFilePath(path);
}
