// The one loop that carries a file's bytes, for the launcher's restore and
// for the tool's store and check of a medium: read a piece, complement it
// when asked, hand it on, until the file's length is read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

// A file shorter than this goes whole: one read, one pass, one write,
// through a buffer of its own. A longer one goes through a buffer this long
// a piece at a time, so that memory stays bounded whatever the medium holds;
// a buffer this size stays in the processor's cache between the read, the
// pass and the write, where the whole of a large file would not.
constexpr std::size_t kFilePieceSize = std::size_t{256} << 10;
// What a file's buffer falls back to when its own cannot be had.
constexpr std::size_t kSmallestPieceSize = std::size_t{4} << 10;

// Takes the next `count` bytes of the file; false ends the loop, the taker
// keeping why in its own record `taker`.
using PieceTaker = bool (*)(void* taker, unsigned char* bytes, std::size_t count);

enum class PieceEnd { kCarried, kSourceFailed, kTakerStopped };

// The buffer a file of `length` bytes is carried through: the whole file and
// the byte past it while that is under kFilePieceSize, else one piece.
std::size_t FindPieceCapacity(uint64_t length);

// Reads `length` bytes of the open `source` through `buffer` (`capacity`
// bytes, at least one), complemented when `complement`, and hands each
// piece to `take`; an empty file is one empty piece. Every read asks for the
// whole buffer and the last one a byte past `length`, so that a file that
// grew or shrank since its length was read ends it as kSourceFailed with
// kLossChangedWhileRead in `loss`; a failed read as kLossSystemError.
PieceEnd CarryFilePieces(FileHandle source, uint64_t length, unsigned char* buffer,
                         std::size_t capacity, bool complement, PieceTaker take, void* taker,
                         FileLoss* loss);
