// The tools' narrow text is in the ANSI code page here. Each of the C
// runtime's standard output and error is turned into a pipe that a thread
// drains: what comes through is converted to UTF-16 and written as wide
// characters to a console, or as UTF-8 to a pipe or file, so that a name
// comes out whole either way.
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/win32_handles.h"

namespace {

constexpr DWORD kChunkBytes = 4096;
// A program the tool started may still hold the pipe at the end: the wait
// for the rest is bounded, and what is left then is lost with the process.
constexpr DWORD kDrainWait = 5000;
constexpr int kStreams = 2;

struct Relay {
  int stream;  // the C runtime's descriptor: 1 or 2
  int saved;   // that stream as it was, given back at the end; -1 when not relayed
  HANDLE target;
  bool console;
  HANDLE pipe;  // the read end
  HANDLE thread;
};

}  // namespace

struct PlatformToolOutput {
  Relay relays[kStreams];
};

namespace {

void WriteWide(const Relay& relay, const wchar_t* wide, int count) {
  DWORD written = 0;
  if (relay.console) {
    (void)WriteConsoleW(relay.target, wide, static_cast<DWORD>(count), &written, nullptr);
    return;
  }
  char utf8[kChunkBytes * 3];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide, count, utf8, sizeof utf8, nullptr, nullptr);
  if (length > 0) {
    (void)WriteFile(relay.target, utf8, static_cast<DWORD>(length), &written, nullptr);
  }
}

// How many of `count` bytes end on a whole character: the lead byte of a
// double-byte code page, last, waits for its trail byte.
DWORD MeasureWholeCharacters(const char* bytes, DWORD count) {
  DWORD at = 0;
  while (at < count) {
    const DWORD step = IsDBCSLeadByte(static_cast<BYTE>(bytes[at])) ? 2 : 1;
    if (at + step > count) break;
    at += step;
  }
  return at;
}

void ConvertAndWrite(const Relay& relay, const char* bytes, DWORD count) {
  wchar_t wide[kChunkBytes];
  const int units =
      MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(count), wide, kChunkBytes);
  if (units > 0) WriteWide(relay, wide, units);
}

DWORD WINAPI RelayStream(LPVOID parameter) {
  const Relay& relay = *static_cast<const Relay*>(parameter);
  char bytes[kChunkBytes];
  DWORD kept = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(relay.pipe, bytes + kept, kChunkBytes - kept, &got, nullptr) || got == 0) break;
    const DWORD count = kept + got;
    const DWORD whole = MeasureWholeCharacters(bytes, count);
    ConvertAndWrite(relay, bytes, whole);
    kept = count - whole;  // one lead byte at most
    if (kept != 0) bytes[0] = bytes[whole];
  }
  if (kept != 0) ConvertAndWrite(relay, bytes, kept);
  return 0;
}

// Puts a pipe in the place of one stream; false, with the stream as it was,
// when anything fails.
bool StartRelay(Relay* relay) {
  relay->saved = _dup(relay->stream);
  if (relay->saved < 0) return false;
  relay->target = reinterpret_cast<HANDLE>(_get_osfhandle(relay->saved));
  DWORD mode = 0;
  relay->console = GetConsoleMode(relay->target, &mode) != 0;
  HANDLE writeEnd = nullptr;
  if (CreatePipe(&relay->pipe, &writeEnd, nullptr, 0)) {
    // Text mode, as the stream had: line ends stay as they were.
    const int written = _open_osfhandle(reinterpret_cast<intptr_t>(writeEnd), _O_TEXT);
    const bool placed = written >= 0 && _dup2(written, relay->stream) == 0;
    if (written >= 0) {
      _close(written);  // the stream holds its own copy now
    } else {
      CloseHandle(writeEnd);
    }
    relay->thread = placed ? CreateThread(nullptr, 0, RelayStream, relay, 0, nullptr) : nullptr;
    if (relay->thread != nullptr) return true;
    if (placed) (void)_dup2(relay->saved, relay->stream);
    CloseHandle(relay->pipe);
  }
  _close(relay->saved);
  relay->saved = -1;
  return false;
}

// Gives the stream back, which closes its pipe, and waits for the rest to be
// handed on. False when the relay is still running.
bool FinishRelay(Relay* relay) {
  if (relay->saved < 0) return true;
  (void)_dup2(relay->saved, relay->stream);
  const bool ended = WaitForSingleObject(relay->thread, kDrainWait) == WAIT_OBJECT_0;
  // The relay writes through the saved copy until it ends.
  if (ended) {
    CloseHandle(relay->thread);
    CloseHandle(relay->pipe);
    _close(relay->saved);
  }
  return ended;
}

}  // namespace

ToolOutput StartToolOutput() {
  auto* output = static_cast<PlatformToolOutput*>(std::calloc(1, sizeof(PlatformToolOutput)));
  if (output == nullptr) return nullptr;
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  for (int i = 0; i < kStreams; ++i) {
    output->relays[i].stream = i + 1;
    (void)StartRelay(&output->relays[i]);
  }
  return output;
}

void FinishToolOutput(ToolOutput output) {
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  if (output == nullptr) return;
  bool ended = true;
  for (Relay& relay : output->relays) ended = FinishRelay(&relay) && ended;
  // A relay still running reads its record: it goes with the process.
  if (ended) std::free(output);
}
