// A stand-in installer: records what it was started with into the file named
// by VANTREL_TEST_RECORD, then behaves as VANTREL_TEST_MODE asks:
//   sleep:MS        stay a while before ending
//   thread-exit:MS  end the primary thread while another thread runs for MS
//   hold:MS         end the primary thread while another keeps "held.txt"
//                   of the working directory open for MS
//   leave           leave in the working directory what installers leave:
//                   read-only files and folders, names no ANSI code page
//                   holds, a tree deeper than 1,400 characters, names ending
//                   in a dot or a blank (made through "\\?\" paths and the
//                   wide calls, as the narrow ones cannot)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

DWORD WINAPI HoldThenEnd(void* parameter) {
  HANDLE held = CreateFileA("held.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  Sleep(static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter)));
  CloseHandle(held);
  ExitProcess(0);
}

DWORD WINAPI SleepThenEnd(void* parameter) {
  Sleep(static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter)));
  // Proof that this thread outlived the primary one.
  if (FILE* late = std::fopen("late.txt", "w")) std::fclose(late);
  ExitProcess(0);
}

bool LeaveFile(const std::wstring& path, DWORD attributes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, "left", 4, &written, nullptr);
  CloseHandle(file);
  return attributes == 0 || SetFileAttributesW(path.c_str(), attributes) != 0;
}

// Exits 3 when any of it could not be made: the test then sees no record.
void LeaveWhatInstallersLeave() {
  wchar_t cwd[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, cwd);
  const std::wstring here = std::wstring(L"\\\\?\\") + cwd;
  bool made = LeaveFile(here + L"\\read-only.txt", FILE_ATTRIBUTE_READONLY) &&
              CreateDirectoryW((here + L"\\locked").c_str(), nullptr) &&
              LeaveFile(here + L"\\locked\\inner.txt", FILE_ATTRIBUTE_READONLY) &&
              SetFileAttributesW((here + L"\\locked").c_str(), FILE_ATTRIBUTE_READONLY) &&
              LeaveFile(here + L"\\\u65e5\u672c.txt", 0) &&
              CreateDirectoryW((here + L"\\\u0416dir").c_str(), nullptr) &&
              LeaveFile(here + L"\\\u0416dir\\inner.txt", 0) && LeaveFile(here + L"\\dot.", 0) &&
              LeaveFile(here + L"\\blank ", FILE_ATTRIBUTE_READONLY) &&
              CreateDirectoryW((here + L"\\folder..").c_str(), nullptr) &&
              LeaveFile(here + L"\\folder..\\two dots. .", 0);
  std::wstring deep = here;
  while (made && deep.size() < 1500) {
    deep += L"\\" + std::wstring(100, L'd');
    made = CreateDirectoryW(deep.c_str(), nullptr) != 0;
  }
  if (!made || !LeaveFile(deep + L"\\leaf.txt", FILE_ATTRIBUTE_READONLY)) ExitProcess(3);
}

}  // namespace

int main() {
  char record[MAX_PATH] = "";
  char mode[64] = "";
  GetEnvironmentVariableA("VANTREL_TEST_RECORD", record, sizeof record);
  GetEnvironmentVariableA("VANTREL_TEST_MODE", mode, sizeof mode);
  if (std::strcmp(mode, "leave") == 0) LeaveWhatInstallersLeave();
  if (record[0] != '\0') {
    if (FILE* out = std::fopen(record, "w")) {
      STARTUPINFOA startup;
      GetStartupInfoA(&startup);
      char cwd[MAX_PATH] = "";
      GetCurrentDirectoryA(sizeof cwd, cwd);
      std::fprintf(out, "command-line=%s\n", GetCommandLineA());
      std::fprintf(out, "cwd=%s\n", cwd);
      std::fprintf(out, "title=%s\n", startup.lpTitle != nullptr ? startup.lpTitle : "");
      std::fprintf(out, "startup-flags=%lu\n", startup.dwFlags);
      const bool notice = FindWindowA(MAKEINTATOM(0x8002), "Vantrel") != nullptr;
      std::fprintf(out, "notice=%d\n", notice ? 1 : 0);
      std::fclose(out);
    }
  }
  const int ms = std::atoi(std::strchr(mode, ':') != nullptr ? std::strchr(mode, ':') + 1 : "0");
  if (std::strncmp(mode, "sleep:", 6) == 0) Sleep(static_cast<DWORD>(ms));
  if (std::strncmp(mode, "thread-exit:", 12) == 0) {
    CreateThread(nullptr, 0, SleepThenEnd, reinterpret_cast<void*>(static_cast<uintptr_t>(ms)), 0,
                 nullptr);
    ExitThread(0);
  }
  if (std::strncmp(mode, "hold:", 5) == 0) {
    CreateThread(nullptr, 0, HoldThenEnd, reinterpret_cast<void*>(static_cast<uintptr_t>(ms)), 0,
                 nullptr);
    Sleep(500);  // the file is open by then
    ExitThread(0);
  }
  return 0;
}
