// Whole-file reads and writes straight through the system calls: a stream's
// own buffer would only add a copy to every byte.
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

namespace {

// Below this a heap block serves; above it fresh pages, advised for huge
// pages, spare the page faults of touching every 4 KiB page.
constexpr std::size_t kMappedBufferMinimum = std::size_t{2} << 20;
constexpr std::size_t kHugePageSize = std::size_t{2} << 20;
// Linux moves at most 2 GiB - 4 KiB in one call and reads short beyond it;
// asking at most this much keeps a short read a sure sign of the file's end.
constexpr std::size_t kLargestRead = std::size_t{1} << 30;

FileHandle HandleFromFd(int fd) {
  return fd < 0 ? nullptr : reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd) + 1);
}

int FdFromHandle(FileHandle file) { return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1); }

FileHandle OpenNative(const char* path, int flags) {
  PathBuffer native;
  if (!TranslatePath(path, native)) return nullptr;
  return HandleFromFd(open(native, flags | O_CLOEXEC, 0644));
}

// A whole number of huge pages: Linux puts only such a mapping on a huge
// page's boundary, and an unaligned one keeps 4 KiB pages at both ends,
// each touched at many times the cost. Untouched pages past the file's end
// cost nothing.
std::size_t MappedLength(std::size_t size) {
  return (size + kHugePageSize - 1) & ~(kHugePageSize - 1);
}

}  // namespace

void* AllocateFileBuffer(std::size_t size) {
  if (size < kMappedBufferMinimum) return std::malloc(size);
  if (size > SIZE_MAX - kHugePageSize) return nullptr;
  // The heap keeps the pages of freed small buffers (up to twice the largest
  // of them) for the next: give them back before the large one is mapped,
  // so that the two never count together.
  malloc_trim(0);
  const std::size_t length = MappedLength(size);
  void* pages = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return nullptr;
  // The read faults the pages in as it fills them, each while it is still
  // in the cache; faulting them all in first cost a pass over the memory of
  // its own (30 ms of 200 on 256 MiB). A mapping the kernel refuses fails
  // here; memory that runs out only while the read fills it is the kernel's
  // to settle, as for any program reading into fresh pages (a read that
  // fails or comes back short skips the file).
  madvise(pages, length, MADV_HUGEPAGE);
  return pages;
}

void ReleaseFileBuffer(void* buffer, std::size_t size) {
  if (size < kMappedBufferMinimum) {
    std::free(buffer);
  } else {
    munmap(buffer, MappedLength(size));
  }
}

bool CanUseSse2() {
#if defined(__x86_64__) || defined(__SSE2__)
  return true;
#elif defined(__i386__)
  return __builtin_cpu_supports("sse2");
#else
  return false;
#endif
}

FileHandle OpenFileForRead(const char* path) {
  // Non-blocking, so that a pipe or device in the tree cannot hang the walk:
  // it reads short and is skipped.
  return OpenNative(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
}

bool ReadFileSize(FileHandle file, uint64_t* size) {
  struct stat own = {};
  if (fstat(FdFromHandle(file), &own) != 0) return false;
  *size = static_cast<uint64_t>(own.st_size);
  return true;
}

FileHandle OpenFileForWrite(const char* path, bool mustBeNew) {
  return OpenNative(path,
                    O_WRONLY | O_CREAT | O_NOCTTY | (mustBeNew ? O_EXCL : (O_TRUNC | O_NOFOLLOW)));
}

int64_t ReadFileBytes(FileHandle file, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const std::size_t asked = size - done < kLargestRead ? size - done : kLargestRead;
    const ssize_t got = read(FdFromHandle(file), bytes + done, asked);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<std::size_t>(got);
    // A regular file reads short only at its end: asking again would only
    // hear the end once more, one more call for every file restored. Other
    // files read short anyway and are then skipped for their length.
    if (static_cast<std::size_t>(got) < asked) break;
  }
  return static_cast<int64_t>(done);
}

bool WriteFileBytes(FileHandle file, const void* buffer, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = write(FdFromHandle(file), bytes + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

bool CloseFile(FileHandle file) { return close(FdFromHandle(file)) == 0; }
