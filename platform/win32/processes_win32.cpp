#include "platform/win32/win32_handles.h"

namespace {

SECURITY_ATTRIBUTES ToSecurityAttributes(const SecurityRecord& record) {
  SECURITY_ATTRIBUTES attributes;
  attributes.nLength = record.length;
  attributes.lpSecurityDescriptor = record.descriptor;
  attributes.bInheritHandle = record.inheritHandle;
  return attributes;
}

}  // namespace

bool CreateProcessFromRequest(const ProcessRequest& request, ProcessRecord* created) {
  SECURITY_ATTRIBUTES processSecurity = ToSecurityAttributes(*request.processSecurity);
  SECURITY_ATTRIBUTES threadSecurity = ToSecurityAttributes(*request.threadSecurity);
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = request.startup->length;
  startup.lpTitle = const_cast<char*>(request.startup->title);
  startup.dwFlags = request.startup->flags;
  startup.wShowWindow = request.startup->showWindow;
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof info);
  if (!CreateProcessA(request.applicationName, request.commandLine, &processSecurity,
                      &threadSecurity, request.inheritHandles, request.creationFlags, nullptr,
                      request.currentDirectory, &startup, &info)) {
    return false;
  }
  created->process = reinterpret_cast<WaitHandle>(info.hProcess);
  created->thread = reinterpret_cast<WaitHandle>(info.hThread);
  created->processId = info.dwProcessId;
  created->threadId = info.dwThreadId;
  return true;
}

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

uint32_t WaitForObject(WaitHandle handle, uint32_t milliseconds) {
  return WaitForSingleObject(ToWin32Handle(handle), milliseconds);
}

void ReleaseHandle(WaitHandle handle) {
  if (handle != nullptr) CloseHandle(ToWin32Handle(handle));
}

uint32_t ReadLastError() { return GetLastError(); }
