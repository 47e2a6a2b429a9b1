#include "monitor/LinkHealthUnit.h"

void TSilenceWatch::Start(int64_t nowMs, uint64_t framesChecked) {
    FLastFrameMs = nowMs;
    FFrames = framesChecked;
    FSilent = false;
}

TSilenceWatch::TChange TSilenceWatch::Tick(int64_t nowMs, uint64_t framesChecked) {
    if (framesChecked != FFrames) {
        FFrames = framesChecked;
        FLastFrameMs = nowMs;
        if (FSilent) {
            FSilent = false;
            return _back;
        }
        return _none;
    }
    if (!FSilent && nowMs - FLastFrameMs >= SilentAfterMs) {
        FSilent = true;
        return _silent;
    }
    return _none;
}

std::optional<TDeviceID> FindLostDevice(const TDevicesIDList& listed, const TDeviceID& lost) {
    if (lost.description().isEmpty())
        return std::nullopt;
    std::optional<TDeviceID> found;
    int candidates = 0;
    for (const TDeviceID& device : listed) {
        if (!device.SameDevice(lost))
            continue;
        ++candidates;
        found = device;
    }
    if (candidates != 1)
        return std::nullopt; // which one is ours is the operator's call
    return found;
}
