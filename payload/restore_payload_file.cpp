#include <cstddef>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

// Reads exactly `length` bytes; one byte more, or fewer, means the file
// changed since it was looked up, and such a copy would be of the wrong length.
bool ReadWholeFile(const char* source, unsigned char* buffer, std::size_t length) {
  FileHandle file = OpenFileForRead(source);
  if (file == nullptr) return false;
  const int64_t got = ReadFileBytes(file, buffer, length + 1);
  CloseFile(file);
  return got == static_cast<int64_t>(length);
}

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

}  // namespace

int RestorePayloadFile(const char* source, const char* destination, int noOverwrite) {
  DirEntry found;
  if (noOverwrite == kNoOverwrite && LookUpPath(destination, &found)) {
    return kRestoreDestinationExists;
  }
  if (!LookUpPath(source, &found)) return kRestoreSourceUnreadable;
  // 2 GiB or more does not fit the signed length: never copy a wrong length.
  if (found.lengthHigh != 0 || found.length < 0) return kRestoreSourceUnreadable;

  const auto length = static_cast<std::size_t>(found.length);
  // One byte of room past the length to notice a file that grew.
  const std::size_t capacity = length + 1;
  auto* buffer = static_cast<unsigned char*>(AllocateFileBuffer(capacity));
  if (buffer == nullptr) return kRestoreSourceUnreadable;

  int result = kRestoreSourceUnreadable;
  if (ReadWholeFile(source, buffer, length)) {
    ComplementBytes(buffer, length);
    result = WriteRestoredFile(destination, buffer, length, noOverwrite == kNoOverwrite);
  }
  ReleaseFileBuffer(buffer, capacity);
  return result;
}
