#include "common/Timing.h"

#include <algorithm>

namespace {
int scalePercent = 100;
}

int Timing::Scaled(int Ms) {
    if (scalePercent == 100 || Ms <= 0)
        return Ms;
    return std::max(1, Ms * scalePercent / 100);
}

void Timing::SetTestScale(int Percent) {
    scalePercent = std::clamp(Percent, 1, 100);
}

int Timing::ScaledReplyWait(int Ms) {
    return std::max(Scaled(Ms), std::min(Ms, ReplyWaitFloorMs));
}
