#include "launcher/run_problem.h"

#include "platform/platform_ops.h"

void TellRunProblem(const char* format, const char* subject, uint32_t error) {
  char reason[kProblemTextSize / 2];
  DescribeError(error, reason, sizeof reason);
  TellRunProblemWith(format, subject, reason);
}

void TellRunProblemWith(const char* format, const char* subject, const char* detail) {
  char text[kProblemTextSize];
  // A format that names no detail leaves it out; a text cut short is still
  // shown.
  FillFormat(text, sizeof text, format, subject, detail);
  ShowMessageBox(text, kProblemTitle, kMessageBoxOk | kMessageBoxError);
}
