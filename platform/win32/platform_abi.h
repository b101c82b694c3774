// Calling convention of the entry point and thread routines: the C runtime's
// start-up and CreateThread call them as standard calls (x86 only; x64 has
// one convention).
#pragma once
#if defined(__i386__)
#define PLATFORM_CALL __attribute__((stdcall))
#else
#define PLATFORM_CALL
#endif

// The entry's instance handle is the system's own HINSTANCE, so that the
// entry the interface declares is the very one windows.h declares, and a
// file may include both.
#define PlatformInstanceTag HINSTANCE__
