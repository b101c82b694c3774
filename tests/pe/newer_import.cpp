// A program that imports what Windows XP lacks: the form check must refuse
// it, whichever version its header states.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH];
  return static_cast<int>(GetFinalPathNameByHandleA(GetCurrentProcess(), path, MAX_PATH, 0));
}
