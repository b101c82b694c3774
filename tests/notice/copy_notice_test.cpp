#include "notice/copy_notice.h"

#include <gtest/gtest.h>

namespace {

// Waits until the notice thread's box stands.
WindowHandle AwaitBox(const CopyNotice& notice) {
  for (int i = 0; i < 500; ++i) {
    if (WindowHandle box = FindThreadWindow(kDialogClassAtom, kNoticeTitle, notice.threadId)) {
      return box;
    }
    WaitForObject(notice.thread, 10);
  }
  return nullptr;
}

TEST(CopyNotice, ClosesTheBoxOfThisRunEvenWhenTheCopyWasQuick) {
  CopyNotice notice = StartCopyNotice();
  ASSERT_NE(notice.thread, nullptr);
  const uint32_t threadId = notice.threadId;
  // Closed at once, before the box may have come up: it is waited for.
  EXPECT_EQ(CloseCopyNotice(&notice), 1);
  EXPECT_EQ(notice.thread, nullptr);
  EXPECT_EQ(FindThreadWindow(kDialogClassAtom, kNoticeTitle, threadId), nullptr);
}

TEST(CopyNotice, ABoxTheUserClosedIsNotWaitedFor) {
  CopyNotice notice = StartCopyNotice();
  WindowHandle box = AwaitBox(notice);
  ASSERT_NE(box, nullptr);
  SendWindowMessage(box, kCloseMessage);  // the user's OK
  EXPECT_EQ(WaitForObject(notice.thread, 5000), kWaitObjectEnded);
  EXPECT_EQ(CloseCopyNotice(&notice), 0);
}

TEST(CopyNotice, LeavesABoxOfTheSameTitleFromAnotherThread) {
  CopyNotice other = StartCopyNotice();
  ASSERT_NE(AwaitBox(other), nullptr);
  CopyNotice notice = StartCopyNotice();
  ASSERT_NE(AwaitBox(notice), nullptr);
  EXPECT_EQ(CloseCopyNotice(&notice), 1);
  EXPECT_NE(FindThreadWindow(kDialogClassAtom, kNoticeTitle, other.threadId), nullptr);
  EXPECT_EQ(CloseCopyNotice(&other), 1);
}

}  // namespace
