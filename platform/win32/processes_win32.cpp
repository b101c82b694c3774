#include "platform/win32/win32_handles.h"

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

uint32_t WaitForObject(WaitHandle handle, uint32_t milliseconds) {
  return WaitForSingleObject(ToWin32Handle(handle), milliseconds);
}

void ReleaseHandle(WaitHandle handle) {
  if (handle != nullptr) CloseHandle(ToWin32Handle(handle));
}
