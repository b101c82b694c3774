// The stack protector's guard and failure routine, in place of the compiler's
// support library: that one seeds the guard through the cryptography DLLs
// before the program's first line, before the launcher has kept its DLL
// search to the system directory. This seed is made the way the platform's
// own compilers make theirs, from values that differ at every start.
#include <cstdint>

#include "platform/win32/win32_handles.h"

extern "C" {

uintptr_t __stack_chk_guard = 0;  // NOLINT: the name the compiler's checks read

// A protected frame of its own would find the guard changed under it.
__attribute__((constructor, no_stack_protector)) static void SeedStackGuard() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  uint64_t seed = (static_cast<uint64_t>(now.dwHighDateTime) << 32) ^ now.dwLowDateTime;
  seed ^= static_cast<uint64_t>(counter.QuadPart) ^ (uint64_t{GetCurrentProcessId()} << 16) ^
          (uint64_t{GetCurrentThreadId()} << 40) ^ GetTickCount();
  seed ^= reinterpret_cast<uintptr_t>(&counter);  // where the stack lies moves at every start
  auto guard = static_cast<uintptr_t>(seed ^ (seed >> 32));
  // A guard with a zero byte stops string overruns short of it.
  __stack_chk_guard = guard == 0 ? 0x2B992DDFu : (guard & ~uintptr_t{0xFF});
}

// An overrun was found: nothing of this process can be trusted any more.
[[noreturn]] void __stack_chk_fail() {  // NOLINT: the name the compiler's checks call
  OutputDebugStringA("*** stack smashing detected ***: terminated");
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_STACK_BUFFER_OVERRUN));
  __builtin_unreachable();
}

// The fortified calls report here.
[[noreturn]] void __chk_fail() { __stack_chk_fail(); }  // NOLINT: as above
}
