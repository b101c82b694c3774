// The command-line tail that a GUI program's entry point is handed: what
// follows the program's own name and the blanks after it.
#pragma once

// Tells whether a byte opens a double-byte character of the system's ANSI code
// page (it then takes the next byte with it inside a quoted program name).
using LeadByteTest = bool (*)(unsigned char byte);

// Returns a pointer into `commandLine` where the tail starts.
const char* FindCommandTail(const char* commandLine, LeadByteTest isLeadByte);
