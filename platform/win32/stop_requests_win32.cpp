// Stop requests: the console's Ctrl+C, Ctrl+Break and close are caught and
// kept, for the tool to end on them having taken back what it wrote.
#include <windows.h>

#include "platform/platform_ops.h"

namespace {

constexpr int kInterrupt = 2;
constexpr int kHangUp = 1;
constexpr int kBreak = 21;
// Windows ends the process some five seconds after a close: the tool's
// clean-up has until then.
constexpr DWORD kCloseGraceMs = 4500;

// The one piece of state a console handler can leave: what it caught.
volatile LONG stopSignal = 0;

BOOL WINAPI KeepStopEvent(DWORD event) {
  LONG signal = 0;
  switch (event) {
    case CTRL_C_EVENT:
      signal = kInterrupt;
      break;
    case CTRL_BREAK_EVENT:
      signal = kBreak;
      break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      signal = kHangUp;
      break;
    default:
      return FALSE;
  }
  (void)InterlockedCompareExchange(&stopSignal, signal, 0);
  // Returning from a close ends the process: the tool's own thread ends it
  // sooner, once clean.
  if (signal == kHangUp) Sleep(kCloseGraceMs);
  return TRUE;
}

}  // namespace

void WatchStopRequests() { (void)SetConsoleCtrlHandler(KeepStopEvent, TRUE); }

int ReadStopRequest() { return static_cast<int>(InterlockedCompareExchange(&stopSignal, 0, 0)); }

const char* DescribeStopRequest(int signal) {
  switch (signal) {
    case kInterrupt:
      return "Ctrl+C";
    case kBreak:
      return "Ctrl+Break";
    case kHangUp:
      return "the console's close";
    default:
      return "a stop";
  }
}
