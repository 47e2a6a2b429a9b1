#pragma once
// The laser-head model's root: owns the parameters and the streamed state, decodes the laser
// head's frames on the receive thread.

#include "laser/LaserUnit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class TLaser {
public:
    TLaser();
    ~TLaser();
    TLaser(const TLaser&) = delete;
    TLaser& operator=(const TLaser&) = delete;

    // One checked 12-byte frame from the laser head (sender 4); runs on the receive thread.
    // Stores every value the answer code carries, then notifies the subject that changed once;
    // boot-loader answers go to the firmware updater. Unknown codes change nothing.
    void DecodeFrame(const uint8_t* frame);

    TServiceParameters* ServiceParameters() const { return FServiceParameters.get(); }
    TLHParameters* LHParameters() const { return FLHParameters.get(); }

    // Called on the receive thread after a frequency-difference answer (code 159) has been
    // stored and FLHParameters notified, with the stored value in hertz. The main window
    // installs it and queues its own update (both frequency-difference spin edits, in MHz).
    // Replacing or clearing it waits for a call in progress, so after
    // SetFreqDifferenceHandler({}) returns the old handler is never called again. The handler
    // must not call SetFreqDifferenceHandler itself.
    using TFreqDifferenceHandler = std::function<void(double hz)>;
    void SetFreqDifferenceHandler(TFreqDifferenceHandler handler);

private:
    void FreqDifferenceChanged(double hz);

    std::unique_ptr<TServiceParameters> FServiceParameters;
    std::unique_ptr<TLHParameters> FLHParameters;
    std::mutex FHandlerMutex;
    TFreqDifferenceHandler FFreqDifferenceHandler;
};

// The one laser-head model, created and freed by the application manager.
extern TLaser* Laser;
