#include "payload/file_pieces.h"

std::size_t FindPieceCapacity(uint64_t length) {
  return length < kFilePieceSize ? static_cast<std::size_t>(length) + 1 : kFilePieceSize;
}

PieceEnd CarryFilePieces(FileHandle source, uint64_t length, unsigned char* buffer,
                         std::size_t capacity, bool complement, PieceTaker take, void* taker,
                         FileLoss* loss) {
  uint64_t left = length;
  bool taken = false;
  for (;;) {
    // The last read has room for the byte past the end, which must not come.
    const bool last = left < capacity;
    const std::size_t expected = last ? static_cast<std::size_t>(left) : capacity;
    const int64_t got = ReadFileBytes(source, buffer, last ? expected + 1 : expected);
    if (got != static_cast<int64_t>(expected)) {
      *loss = {got < 0 ? kLossSystemError : kLossChangedWhileRead, got < 0 ? ReadLastError() : 0};
      return PieceEnd::kSourceFailed;
    }
    if (complement) ComplementBytes(buffer, expected);
    // An empty last piece after full ones carries nothing.
    if ((expected > 0 || !taken) && !take(taker, buffer, expected)) return PieceEnd::kTakerStopped;
    taken = true;
    if (last) return PieceEnd::kCarried;
    left -= expected;
  }
}
