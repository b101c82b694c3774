// The "please wait" box shown by a thread of its own while the payload is copied.
#pragma once

#include <cstdint>

#include "platform/platform_ops.h"

constexpr char kNoticeTitle[] = "Vantrel";
constexpr char kNoticeText[] = "Copying Files. Please wait.";
// The predefined dialog-box class, to which every message box belongs.
constexpr uint16_t kDialogClassAtom = 0x8002;

// How long the main thread looks for a box that has not come up yet, and how
// long it waits for the notice thread once the box has been closed.
constexpr uint32_t kNoticePollMs = 10;
constexpr uint32_t kNoticeAppearLimitMs = 5000;
constexpr uint32_t kNoticeEndLimitMs = 5000;

// The notice thread of this run; its handle decides whether its box is still
// to come, standing, or already closed.
struct CopyNotice {
  WaitHandle thread;
  uint32_t threadId;
};

CopyNotice StartCopyNotice();
uint32_t PLATFORM_CALL ShowCopyNotice(void* parameter);
// 1 when it closed this run's box, 0 when there was none to close. Releases
// the thread's handle.
int CloseCopyNotice(CopyNotice* notice);
