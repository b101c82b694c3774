#include <cstddef>
#include <cstdint>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

// The longest file the signed 32-bit length holds: 2 GiB less one byte.
constexpr uint64_t kLongestRestoredFile = 0x7FFFFFFF;

int WriteRestoredFile(const char* destination, const unsigned char* buffer, std::size_t length,
                      bool mustBeNew) {
  FileHandle file = OpenFileForWrite(destination, mustBeNew);
  // A destination that cannot be created is passed over, as the walk expects.
  if (file == nullptr) return kRestoreDone;
  const bool written = WriteFileBytes(file, buffer, length);
  const bool closed = CloseFile(file);
  if (written && closed) return kRestoreDone;
  // A truncated copy would be kept by every later run: take it away again.
  DeleteFilePath(destination);
  return kRestoreWriteFailed;
}

// Reads the open source whole into a fresh buffer and restores it. Its size
// comes from the file opened, which spares a look-up of the path; a file
// that changes after that still reads one byte more, or fewer, than its size.
int RestoreOpenFile(FileHandle file, const char* destination, bool mustBeNew) {
  uint64_t size = 0;
  // 2 GiB or more does not fit the signed length: never copy a wrong length.
  if (!ReadFileSize(file, &size) || size > kLongestRestoredFile) {
    CloseFile(file);
    return kRestoreSourceUnreadable;
  }
  const auto length = static_cast<std::size_t>(size);
  // One byte of room past the length to notice a file that grew.
  const std::size_t capacity = length + 1;
  auto* buffer = static_cast<unsigned char*>(AllocateFileBuffer(capacity));
  if (buffer == nullptr) {
    CloseFile(file);
    return kRestoreSourceUnreadable;
  }
  const bool whole = ReadFileBytes(file, buffer, capacity) == static_cast<int64_t>(length);
  CloseFile(file);
  int result = kRestoreSourceUnreadable;
  if (whole) {
    ComplementBytes(buffer, length);
    result = WriteRestoredFile(destination, buffer, length, mustBeNew);
  }
  ReleaseFileBuffer(buffer, capacity);
  return result;
}

}  // namespace

int RestorePayloadFile(const char* source, const char* destination, int noOverwrite) {
  DirEntry found;
  // Before the source is even opened: an existing destination is left alone.
  if (noOverwrite == kNoOverwrite && LookUpPath(destination, &found)) {
    return kRestoreDestinationExists;
  }
  FileHandle file = OpenFileForRead(source);
  if (file == nullptr) return kRestoreSourceUnreadable;
  return RestoreOpenFile(file, destination, noOverwrite == kNoOverwrite);
}
