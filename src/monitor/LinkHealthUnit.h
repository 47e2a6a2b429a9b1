#pragma once
// The health of an open link, as decisions the window acts on: when a link whose reads succeed
// has gone silent, and which listed device is the lost one to reconnect by itself. No thread, no
// timer: the window's timers call in with the time and the receive thread's frame count.

#include "link/Phy_Global_Unit.h"

#include <QString>

#include <cstdint>
#include <optional>

// Reads succeed but no checked frame has arrived for this long: the laser says nothing. The
// controller streams several frames a second while it runs.
inline constexpr int SilentAfterMs = 3000;
// How often the silence is checked while connected.
inline constexpr int SilenceCheckMs = 250;
// How often a lost device is looked for.
inline constexpr int RecoveryIntervalMs = 1000;

class TSilenceWatch {
public:
    enum TChange { _none, _silent, _back };

    // A new link: frames counted from framesChecked on, silence measured from nowMs.
    void Start(int64_t nowMs, uint64_t framesChecked);
    // The state at nowMs with the receive thread's count of checked frames.
    TChange Tick(int64_t nowMs, uint64_t framesChecked);
    bool Silent() const { return FSilent; }

private:
    int64_t FLastFrameMs = 0;
    uint64_t FFrames = 0;
    bool FSilent = false;
};

// The device to reconnect: the one listed entry that is the lost device (TDeviceID::SameDevice:
// description, kind, serial number or port path; the notes of the list play no part). Nothing
// when it is not listed, or when several entries could be it (the operator chooses then).
std::optional<TDeviceID> FindLostDevice(const TDevicesIDList& listed, const TDeviceID& lost);
