// What stands behind a wait handle here: a process, reached through a pidfd,
// or a thread of this process, whose end is signalled through a condition.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include "platform/platform_ops.h"

enum WaitableKind { kWaitableProcess, kWaitableThread };

struct ThreadState {
  pthread_mutex_t lock;
  pthread_cond_t changed;
  ThreadRoutine routine;
  void* parameter;
  uint32_t threadId;
  bool ended;
  int references;  // the handle and the running thread
};

struct PlatformWaitable {
  WaitableKind kind;
  pid_t pid;
  int pidFd;  // -1 where the kernel has none: the wait then polls
  ThreadState* thread;
};

// Drops one reference; the last frees the state.
void ReleaseThreadState(ThreadState* state);
uint32_t WaitForThreadState(ThreadState* state, uint32_t milliseconds);
uint32_t WaitForProcess(PlatformWaitable* process, uint32_t milliseconds);
