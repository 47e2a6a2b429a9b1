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

std::optional<TDeviceID> FindLostDevice(const TDevicesIDList& listed, const QString& description,
                                        int32_t kind) {
    if (description.isEmpty())
        return std::nullopt;
    std::optional<TDeviceID> found;
    int sameName = 0;
    for (const TDeviceID& device : listed) {
        if (device.fullName() != description)
            continue;
        ++sameName;
        if (device.serialNumber() == kind)
            found = device;
    }
    if (sameName != 1)
        return std::nullopt; // two of the same name: which one is ours is the operator's call
    return found;
}
