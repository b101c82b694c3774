// Tells the person at the screen which file of the medium did not come back,
// and why, when the run stops short of starting the installer.
#pragma once

#include "payload/payload_tree.h"

void TellPayloadLoss(const PayloadLoss& lost);
