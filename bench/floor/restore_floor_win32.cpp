// The floor of the restore's own design through the Win32 API, for
// bench/run-wine: the same calls as the native floor. A depth-first walk
// taking kinds from the listing; per file a look-up of the destination (no
// overwrite), the source opened and its size read from it, a buffer of the
// whole file below 256 KiB (one read, one complement pass, the destination
// created new under a private name and marked for deletion, one write),
// else of 256 KiB, a piece at a time; the mark taken back and the file
// renamed to its name once whole; the closes.
// Benchmark-only.
//   restore_floor.exe SOURCE TARGET
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kPathSize = MAX_PATH;
// The largest buffer: one that stays in the processor's cache from the read
// to the write.
constexpr std::size_t kPieceSize = std::size_t{256} << 10;

bool JoinPath(char* out, const char* directory, const char* name) {
  const std::size_t head = std::strlen(directory);
  const std::size_t tail = std::strlen(name);
  if (head + 1 + tail >= kPathSize) return false;
  std::memcpy(out, directory, head + 1);
  out[head] = '\\';
  std::memcpy(out + head + 1, name, tail + 1);
  return true;
}

// Sixty-four bytes a step in four vector registers (SSE2), the rest a word
// and then a byte at a time: the fastest plain pass, so that the launcher's
// own pass shows against it. The 32-bit build cannot assume SSE2 (nor can
// the launcher's): it takes SSE2 when the processor has it, else words.
using Block = uint64_t __attribute__((vector_size(16)));

#if defined(__i386__) && !defined(__SSE2__)
__attribute__((target("sse2")))
#endif
std::size_t
ComplementBlocks(unsigned char* bytes, std::size_t count) {
  std::size_t i = 0;
  for (; i + 4 * sizeof(Block) <= count; i += 4 * sizeof(Block)) {
    Block blocks[4];
    std::memcpy(&blocks[0], bytes + i, sizeof(Block));
    std::memcpy(&blocks[1], bytes + i + sizeof(Block), sizeof(Block));
    std::memcpy(&blocks[2], bytes + i + 2 * sizeof(Block), sizeof(Block));
    std::memcpy(&blocks[3], bytes + i + 3 * sizeof(Block), sizeof(Block));
    blocks[0] = ~blocks[0];
    blocks[1] = ~blocks[1];
    blocks[2] = ~blocks[2];
    blocks[3] = ~blocks[3];
    std::memcpy(bytes + i, &blocks[0], sizeof(Block));
    std::memcpy(bytes + i + sizeof(Block), &blocks[1], sizeof(Block));
    std::memcpy(bytes + i + 2 * sizeof(Block), &blocks[2], sizeof(Block));
    std::memcpy(bytes + i + 3 * sizeof(Block), &blocks[3], sizeof(Block));
  }
  return i;
}

void ComplementBytes(unsigned char* bytes, std::size_t count) {
  std::size_t i = 0;
  if (IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE))
    i = ComplementBlocks(bytes, count);
  for (; i + sizeof(uintptr_t) <= count; i += sizeof(uintptr_t)) {
    uintptr_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    word = ~word;
    std::memcpy(bytes + i, &word, sizeof word);
  }
  for (; i < count; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
}

// Pieces of the whole buffer, the last read asking past the end as the
// launcher's does; false for a file that did not read as its size says.
bool CopyPieces(HANDLE in, HANDLE out, uint64_t size, unsigned char* buffer, DWORD capacity) {
  uint64_t left = size;
  for (;;) {
    const bool last = left < capacity;
    const DWORD expected = last ? static_cast<DWORD>(left) : capacity;
    DWORD got = 0;
    if (!ReadFile(in, buffer, last ? expected + 1 : expected, &got, nullptr) || got != expected) {
      return false;
    }
    ComplementBytes(buffer, expected);
    DWORD put = 0;
    if (!WriteFile(out, buffer, expected, &put, nullptr) || put != expected) return false;
    if (last) return true;
    left -= expected;
  }
}

void RestoreFile(const char* source, const char* destination) {
  if (GetFileAttributesA(destination) != INVALID_FILE_ATTRIBUTES) return;
  HANDLE in = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER own;
  if (!GetFileSizeEx(in, &own)) {
    CloseHandle(in);
    return;
  }
  const auto size = static_cast<uint64_t>(own.QuadPart);
  const DWORD capacity = size < kPieceSize ? static_cast<DWORD>(size) + 1 : DWORD{kPieceSize};
  auto* buffer = static_cast<unsigned char*>(std::malloc(capacity));
  // A private name, marked for deletion until whole: a run that ends early
  // leaves nothing cut short.
  char pending[kPathSize];
  HANDLE out = INVALID_HANDLE_VALUE;
  if (buffer != nullptr && std::strlen(destination) + 2 <= kPathSize) {
    std::strcpy(pending, destination);
    std::strcat(pending, "~");
    out = CreateFileA(pending, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (out != INVALID_HANDLE_VALUE) {
    FILE_DISPOSITION_INFO dispose = {TRUE};
    SetFileInformationByHandle(out, FileDispositionInfo, &dispose, sizeof dispose);
    if (CopyPieces(in, out, size, buffer, capacity)) {
      alignas(FILE_RENAME_INFO) BYTE room[sizeof(FILE_RENAME_INFO) + kPathSize * sizeof(WCHAR)];
      auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(room);
      const int units = MultiByteToWideChar(CP_ACP, 0, destination, -1, rename->FileName,
                                            static_cast<int>(kPathSize));
      rename->ReplaceIfExists = FALSE;
      rename->RootDirectory = nullptr;
      rename->FileNameLength = static_cast<DWORD>(units - 1) * sizeof(WCHAR);
      dispose.DeleteFile = FALSE;
      SetFileInformationByHandle(out, FileDispositionInfo, &dispose, sizeof dispose);
      if (!SetFileInformationByHandle(out, FileRenameInfo, rename, sizeof room)) {
        dispose.DeleteFile = TRUE;
        SetFileInformationByHandle(out, FileDispositionInfo, &dispose, sizeof dispose);
      }
    }
    CloseHandle(out);
  }
  CloseHandle(in);
  std::free(buffer);
}

void RestoreTree(const char* source, const char* target) {
  char pattern[kPathSize];
  if (!JoinPath(pattern, source, "*")) return;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const char* name = entry.cFileName;
    char from[kPathSize];
    char to[kPathSize];
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      if (!JoinPath(from, source, name) || !JoinPath(to, target, name)) continue;
      CreateDirectoryA(to, nullptr);
      RestoreTree(from, to);
    } else {
      // The launcher's own two names: itself left out, the installer renamed.
      if (lstrcmpiA(name, "setup.exe") == 0) continue;
      const char* restored = lstrcmpiA(name, "setup.xex") == 0 ? "SETUP.EXE" : name;
      if (!JoinPath(from, source, name) || !JoinPath(to, target, restored)) continue;
      RestoreFile(from, to);
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  CreateDirectoryA(argv[2], nullptr);
  RestoreTree(argv[1], argv[2]);
  return 0;
}
