// Calling convention of the entry point and thread routines: the C runtime's
// start-up and CreateThread call them as standard calls.
#pragma once
#define PLATFORM_CALL __attribute__((stdcall))
