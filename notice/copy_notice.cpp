#include "notice/copy_notice.h"

uint32_t PLATFORM_CALL ShowCopyNotice(void* /*parameter*/) {
  ShowMessageBox(kNoticeText, kNoticeTitle, kMessageBoxOk);
  return 1;
}

CopyNotice StartCopyNotice() {
  const SecurityRecord security = {kSecurityRecordLength, nullptr, 0};
  CopyNotice notice = {nullptr, 0};
  notice.thread = StartThread(&security, ShowCopyNotice, nullptr, &notice.threadId);
  return notice;
}

int CloseCopyNotice(CopyNotice* notice) {
  if (notice->thread == nullptr) return 0;
  int closed = 0;
  // A copy may end before the box is up: wait for it, a bounded time, so that
  // no late box stands over the installer. A thread that has ended means the
  // user closed the box already.
  for (uint32_t waited = 0; waited < kNoticeAppearLimitMs; waited += kNoticePollMs) {
    WindowHandle box = FindThreadWindow(kDialogClassAtom, kNoticeTitle, notice->threadId);
    if (box != nullptr) {
      SendWindowMessage(box, kCloseMessage);
      WaitForObject(notice->thread, kNoticeEndLimitMs);
      closed = 1;
      break;
    }
    if (WaitForObject(notice->thread, kNoticePollMs) != kWaitTimedOut) break;
  }
  ReleaseHandle(notice->thread);
  notice->thread = nullptr;
  return closed;
}
