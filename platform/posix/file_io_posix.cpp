// Reads and writes straight through the system calls: a stream's
// own buffer would only add a copy to every byte.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

namespace {

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

}  // namespace

// The loop's buffers are a piece at most: the heap serves them, and keeps
// their pages from one file to the next.
void* AllocateFileBuffer(std::size_t size) { return std::malloc(size); }

void ReleaseFileBuffer(void* buffer, std::size_t /*size*/) { std::free(buffer); }

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

bool CreatePendingFile(const char* path, PendingFile* pending) {
  PathBuffer native;
  PathBuffer folder;
  if (!TranslatePath(path, native) || !ReadDirectoryPart(folder, native)) return false;
  const int unnamed = open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  // A file system without unnamed files says so as one of these (an old
  // kernel takes O_TMPFILE for O_DIRECTORY): the file is made at its name.
  if (unnamed < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    *pending = {OpenFileForWrite(path, true), true};
    return pending->file != nullptr;
  }
  *pending = {HandleFromFd(unnamed), false};
  return unnamed >= 0;
}

bool NamePendingFile(PendingFile* pending, const char* path) {
  PathBuffer native;
  const int fd = FdFromHandle(pending->file);
  const bool translated = TranslatePath(path, native);
  bool named = pending->named;
  if (!named && translated) {
    char descriptor[kDescriptorPathSize];
    FormatDescriptorPath(fd, descriptor);
    // Through /proc, as a link of the descriptor's own needs a privilege.
    named = linkat(AT_FDCWD, descriptor, AT_FDCWD, native, AT_SYMLINK_FOLLOW) == 0 ||
            (errno == ENOENT && linkat(fd, "", AT_FDCWD, native, AT_EMPTY_PATH) == 0);
  }
  const int error = errno;
  if (!named) {
    close(fd);
    errno = error;
    return false;
  }
  if (close(fd) == 0) return true;
  // A late write failure: the named file is cut short.
  const int late = errno;
  if (translated) unlink(native);
  errno = late;
  return false;
}

void DiscardPendingFile(PendingFile* pending, const char* path) {
  CloseFile(pending->file);
  if (pending->named) DeleteFilePath(path);
}
