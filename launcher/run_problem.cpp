#include "launcher/run_problem.h"

#include "platform/platform_ops.h"

void TellRunProblem(const char* format, const char* subject, uint32_t error) {
  char reason[kProblemTextSize / 2];
  DescribeError(error, reason, sizeof reason);
  char text[kProblemTextSize];
  // A format that names no reason leaves it out; a text cut short is still
  // shown.
  FillFormat(text, sizeof text, format, subject, reason);
  ShowMessageBox(text, kProblemTitle, kMessageBoxOk | kMessageBoxError);
}
