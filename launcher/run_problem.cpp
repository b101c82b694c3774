#include "launcher/run_problem.h"

#include <cstdio>

#include "platform/platform_ops.h"

void TellRunProblem(const char* format, const char* subject, uint32_t error) {
  char reason[kProblemTextSize / 2];
  DescribeError(error, reason, sizeof reason);
  char text[kProblemTextSize];
  // The formats are the launcher's own constants; one that names no reason
  // leaves the second argument unread. A text cut short is still shown.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  (void)std::snprintf(text, sizeof text, format, subject, reason);
#pragma GCC diagnostic pop
  ShowMessageBox(text, kProblemTitle, kMessageBoxOk | kMessageBoxError);
}
