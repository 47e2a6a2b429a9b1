#pragma once
// The commands of the operator's tuning controls, as data: what each button sends. The window
// hands them to SendCommand; tests read them directly.

#include <cstdint>
#include <optional>
#include <vector>

struct TCommand {
    uint8_t Target;
    uint8_t Code;
    uint16_t W0 = 0;
    uint16_t W1 = 0;
    uint16_t W2 = 0;
    uint16_t W3 = 0;
    bool operator==(const TCommand&) const = default;
};

// 'Start': StartStep1, StartStep2, then GoToPeak with the reference peak's number
// (setPeakListBoxIndex + firstIndex + 1) in automatic mode, HalfAutomatic otherwise.
std::vector<TCommand> StartCommands(bool automatic, int setPeakListBoxIndex, int firstIndex);
// 'Lock' in half-automatic mode.
TCommand LockCommand();
// GoToPeak for a simple-page button (the low byte of its peak number).
TCommand SimpleButtonCommand(int peakNumber);
// StartStep2, as the watchdog sends it after an automatic connect.
TCommand StartStep2Command();
// LHSetWavelength with Round(MHz x 1000000) Hz split into its low and high 16 bits.
TCommand FreqDifferenceCommand(double megahertz);
// SetHarmonic / SetScopeScale for a combo row; nothing for no row.
std::optional<TCommand> HarmonicCommand(int row);
std::optional<TCommand> ScopeScaleCommand(int row);

// Writes the command through SendParamsFrame.
void SendCommand(const TCommand& command);
