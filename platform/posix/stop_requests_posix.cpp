// Stop requests: the signals that would end the tool at once are caught and
// kept, for it to end on them having taken back what it wrote.
#include <signal.h>

#include <initializer_list>

#include "platform/platform_ops.h"

namespace {

// The one piece of state a signal handler can leave: what it caught.
volatile sig_atomic_t stopSignal = 0;

void KeepStopSignal(int signal) {
  if (stopSignal == 0) stopSignal = signal;
}

}  // namespace

void WatchStopRequests() {
  struct sigaction action = {};
  action.sa_handler = KeepStopSignal;
  (void)sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait or a read the signal breaks into returns, and the
  // tool reads the request sooner.
  action.sa_flags = 0;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) (void)sigaction(signal, &action, nullptr);
  // A file-size limit fails the write (EFBIG), which the tool tells and
  // takes back, instead of killing it with a partial medium left.
  (void)signal(SIGXFSZ, SIG_IGN);
}

int ReadStopRequest() { return stopSignal; }

const char* DescribeStopRequest(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}
