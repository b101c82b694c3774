// The system's own codes: the platform's results are told in them already.
#include "platform/win32/win32_handles.h"

uint32_t ReadLastError() { return GetLastError(); }
