#include "platform/win32/win32_handles.h"

WaitHandle StartThread(const SecurityRecord* security, ThreadRoutine routine, void* parameter,
                       uint32_t* threadId) {
  SECURITY_ATTRIBUTES attributes = ToSecurityAttributes(*security);
  DWORD id = 0;
  // ThreadRoutine is a standard call taking one pointer and returning 32
  // bits: the very shape of LPTHREAD_START_ROUTINE.
  auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(routine));
  HANDLE thread = CreateThread(&attributes, 0, start, parameter, 0, &id);
  *threadId = id;
  return thread == nullptr ? nullptr : reinterpret_cast<WaitHandle>(thread);
}
