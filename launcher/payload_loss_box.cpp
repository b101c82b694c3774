#include "launcher/payload_loss_box.h"

#include "launcher/run_problem.h"

void TellPayloadLoss(const PayloadLoss& lost) {
  const char* format = kCopyFailedText;
  if (lost.loss.kind == kLossChangedWhileRead) format = kCopyChangedText;
  if (lost.loss.kind == kLossTooLargeForTarget) format = kCopyTooLargeForTargetText;
  TellRunProblem(format, lost.path, lost.loss.error);
}
