#include <cstdlib>

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
