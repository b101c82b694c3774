#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/posix/waitable_posix.h"

namespace {

void* RunThreadRoutine(void* argument) {
  auto* state = static_cast<ThreadState*>(argument);
  pthread_mutex_lock(&state->lock);
  state->threadId = static_cast<uint32_t>(syscall(SYS_gettid));
  pthread_cond_broadcast(&state->changed);
  pthread_mutex_unlock(&state->lock);

  state->routine(state->parameter);

  pthread_mutex_lock(&state->lock);
  state->ended = true;
  pthread_cond_broadcast(&state->changed);
  pthread_mutex_unlock(&state->lock);
  ReleaseThreadState(state);
  return nullptr;
}

timespec DeadlineAfter(uint32_t milliseconds) {
  timespec deadline = {};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  return deadline;
}

}  // namespace

void ReleaseThreadState(ThreadState* state) {
  pthread_mutex_lock(&state->lock);
  const int left = --state->references;
  pthread_mutex_unlock(&state->lock);
  if (left > 0) return;
  pthread_cond_destroy(&state->changed);
  pthread_mutex_destroy(&state->lock);
  delete state;
}

uint32_t WaitForThreadState(ThreadState* state, uint32_t milliseconds) {
  const timespec deadline = DeadlineAfter(milliseconds);
  pthread_mutex_lock(&state->lock);
  int waited = 0;
  while (!state->ended && waited == 0) {
    waited = pthread_cond_timedwait(&state->changed, &state->lock, &deadline);
  }
  const bool ended = state->ended;
  pthread_mutex_unlock(&state->lock);
  if (ended) return kWaitObjectEnded;
  return waited == ETIMEDOUT ? kWaitTimedOut : kWaitFailed;
}

WaitHandle StartThread(const SecurityRecord* /*security*/, ThreadRoutine routine, void* parameter,
                       uint32_t* threadId) {
  // cppcheck-suppress legacyUninitvar
  auto* state = new (std::nothrow) ThreadState{};
  auto* handle = new (std::nothrow) PlatformWaitable{kWaitableThread, 0, -1, state};
  if (state == nullptr || handle == nullptr) {
    delete state;
    delete handle;
    errno = ENOMEM;
    return nullptr;
  }
  pthread_condattr_t clock;
  pthread_condattr_init(&clock);
  pthread_condattr_setclock(&clock, CLOCK_MONOTONIC);
  pthread_mutex_init(&state->lock, nullptr);
  pthread_cond_init(&state->changed, &clock);
  pthread_condattr_destroy(&clock);
  state->routine = routine;
  state->parameter = parameter;
  state->references = 2;

  pthread_t thread;
  const int failed = pthread_create(&thread, nullptr, RunThreadRoutine, state);
  if (failed != 0) {
    state->references = 1;
    ReleaseThreadState(state);
    delete handle;
    errno = failed;
    return nullptr;
  }
  pthread_detach(thread);
  // The identifier is the kernel's thread id, known once the thread runs.
  pthread_mutex_lock(&state->lock);
  while (state->threadId == 0) pthread_cond_wait(&state->changed, &state->lock);
  *threadId = state->threadId;
  pthread_mutex_unlock(&state->lock);
  return handle;
}
