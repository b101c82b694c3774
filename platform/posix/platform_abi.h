// Calling convention of the entry point and thread routines: the ordinary one.
#pragma once
#define PLATFORM_CALL
