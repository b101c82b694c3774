// The tail arrives ready-made: the process entry has joined the arguments.
#include "platform/platform_ops.h"

const char* ReadCommandTail(const char* entryTail) { return entryTail; }
