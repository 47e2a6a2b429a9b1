#pragma once
// The service panel's settings as data: one row per 'Set' button with its input field, the
// field's limits, the conversion of the field's value into the data words, and the command.
// The panel reads it to set up its fields and to send; tests read it directly.

#include "protocol/ControllerReceiverUnit.h"

#include <array>
#include <cstdint>

// How a field's value becomes the data words. T is the value truncated toward zero.
enum class TServiceConversion {
    Word16,     // W0 = bits 0-15 of T
    LowByte,    // W0 = bits 0-7 of T
    CFTTenths,  // W0 = bits 0-7 of T(value x 10)
    PathGain,   // W0 = bits 0-15 of T, + 2000 when 'Stabilization check' is ticked
    Lifetime32, // W0 = bits 0-15, W1 = bits 16-31 of T
};

struct TServiceSetRow {
    const char* Button;   // objectName of the 'Set' button
    const char* SpinEdit; // objectName of its real-number spin edit
    const char* Caption;  // the field's label
    bool Limited;         // false: the field accepts any value
    double Min;           // limits when Limited
    double Max;
    bool Minus;   // the minus sign is accepted
    int Decimals; // Precision of the field
    TServiceConversion Conversion;
    uint8_t Target;       // board
    uint8_t Code;         // write command
    TSpinTarget ReadBack; // the field the read request's answer fills
};

// The data words of a 'Set' command.
struct TServiceWords {
    uint16_t W0 = 0;
    uint16_t W1 = 0;
    bool operator==(const TServiceWords&) const = default;
};

// Every 'Set' button of the panel that sends one field, in the panel's order.
extern const std::array<TServiceSetRow, 20> ServiceSetRows;

// The row of a button or of a spin edit; nullptr when there is none.
const TServiceSetRow* FindServiceRowByButton(const char* button);
const TServiceSetRow* FindServiceRowBySpinEdit(const char* spinEdit);

// The data words of a row for the field's value.
TServiceWords ServiceSetWords(const TServiceSetRow& row, double value, bool stabilizationCheck);
// Sends the row's command with the field's value; true when the frame was written.
bool SendServiceSetRow(const TServiceSetRow& row, double value, bool stabilizationCheck);

// 'Stabilization check' ticked or cleared: SetPathGain with |T| + 2000 when ticked, else |T|.
uint16_t StabilizationCheckWord(double pathGain, bool ticked);
void SendStabilizationCheck(double pathGain, bool ticked);

// The Test page's DSP PID: write with the three fields (each 16-bit), read without data.
void SendDSPWritePID(double p, double i, double d);
void SendDSPReadPID();

// SetExpectedPeaks with the mask of the chosen peak range; true when the frame was written.
bool SendSetExpectedPeaks(uint16_t mask);

// The captions of the three CFT calibration fields for a CFT offset: below 30000 the bridge
// captions, otherwise the plain ones.
struct TCFTCaptions {
    const char* Temp10;
    const char* Temp40;
    const char* Offset;
};
TCFTCaptions CFTCalibrationCaptions(double cftOffset);
