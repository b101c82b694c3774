// Message boxes on a terminal. A box on the main thread is answered at once:
// nobody else could ever close it. A box on another thread announces itself
// on standard error and stands until it is sent the close message.
//
// The table of standing boxes is this process's stand-in for the window
// manager's list of top-level windows, so it is shared by every thread.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/platform_ops.h"

namespace {

constexpr uint16_t kBoxClassAtom = 0x8002;
constexpr int kMaxStandingBoxes = 8;
constexpr int kBoxAnswerOk = 1;

struct StandingBox {
  bool used;
  bool closeRequested;
  uint32_t threadId;
  char title[kPathBufferSize];
};

struct BoxTable {
  pthread_mutex_t lock;
  pthread_cond_t changed;
  StandingBox boxes[kMaxStandingBoxes];
};

BoxTable& Boxes() {
  static BoxTable table = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, {}};
  return table;
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

}  // namespace

int ShowMessageBox(const char* text, const char* title, uint32_t type) {
  if (CurrentThreadId() == static_cast<uint32_t>(getpid())) {
    // What went wrong goes where a terminal's user and a log look for it;
    // the usage, asked for, to the output.
    FILE* stream = (type & kMessageBoxError) != 0 ? stderr : stdout;
    (void)std::fprintf(stream, "%s\n\n%s\n", title, text);
    (void)std::fflush(stream);
    return kBoxAnswerOk;
  }
  BoxTable& table = Boxes();
  pthread_mutex_lock(&table.lock);
  StandingBox* box = nullptr;
  for (StandingBox& slot : table.boxes) {
    if (!slot.used) {
      box = &slot;
      break;
    }
  }
  if (box == nullptr) {
    pthread_mutex_unlock(&table.lock);
    return 0;
  }
  *box = StandingBox{true, false, CurrentThreadId(), {}};
  CopyPath(box->title, title);
  (void)std::fprintf(stderr, "%s\n", text);
  pthread_cond_broadcast(&table.changed);
  while (!box->closeRequested) pthread_cond_wait(&table.changed, &table.lock);
  box->used = false;
  pthread_cond_broadcast(&table.changed);
  pthread_mutex_unlock(&table.lock);
  return kBoxAnswerOk;
}

WindowHandle FindThreadWindow(uint16_t classAtom, const char* title, uint32_t threadId) {
  if (classAtom != kBoxClassAtom) return nullptr;
  BoxTable& table = Boxes();
  WindowHandle found = nullptr;
  pthread_mutex_lock(&table.lock);
  for (int i = 0; i < kMaxStandingBoxes; ++i) {
    const StandingBox& box = table.boxes[i];
    if (box.used && !box.closeRequested && box.threadId == threadId &&
        std::strcmp(box.title, title) == 0) {
      found = reinterpret_cast<WindowHandle>(static_cast<intptr_t>(i) + 1);
      break;
    }
  }
  pthread_mutex_unlock(&table.lock);
  return found;
}

void SendWindowMessage(WindowHandle window, uint32_t message) {
  const auto index = reinterpret_cast<intptr_t>(window) - 1;
  if (message != kCloseMessage || index < 0 || index >= kMaxStandingBoxes) return;
  BoxTable& table = Boxes();
  pthread_mutex_lock(&table.lock);
  StandingBox& box = table.boxes[index];
  if (box.used) {
    const uint32_t owner = box.threadId;
    box.closeRequested = true;
    pthread_cond_broadcast(&table.changed);
    // Sent, not posted: return once the box's thread has taken it down.
    while (box.used && box.threadId == owner) pthread_cond_wait(&table.changed, &table.lock);
  }
  pthread_mutex_unlock(&table.lock);
}
