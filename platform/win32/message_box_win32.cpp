#include "platform/win32/win32_handles.h"

int ShowMessageBox(const char* text, const char* title, uint32_t type) {
  return MessageBoxA(nullptr, text, title, type);
}

WindowHandle FindThreadWindow(uint16_t classAtom, const char* title, uint32_t threadId) {
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, MAKEINTATOM(classAtom), title)) != nullptr) {
    if (GetWindowThreadProcessId(window, nullptr) == threadId) {
      return reinterpret_cast<WindowHandle>(window);
    }
  }
  return nullptr;
}

void SendWindowMessage(WindowHandle window, uint32_t message) {
  SendMessageA(reinterpret_cast<HWND>(window), message, 0, 0);
}
