#pragma once
// Decoding of the controller boards' frames (senders 1 main board, 2 DSP board, 3 frequency
// board) into typed actions, and applying those actions to a TControllerReceiver.
//
// Decoding is pure: bytes in, values out, nothing touched. Each decoded report says how it must
// reach the receiver: queued to the GUI thread with its values (Queued), run on the GUI thread
// while the receive thread waits (Synchronised), or handled on the receive thread itself
// (ReceiveThread: the firmware acknowledgements, which the GUI thread is waiting for).

#include "protocol/ControllerReceiverUnit.h"

#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <variant>

enum class TDelivery : uint8_t { Queued, Synchronised, ReceiveThread };

// One operation of the receiver with its values.
namespace Act {
struct CRCError {};
struct ErrorSignalSample {
    uint16_t raw;
};
struct ServiceSample {
    int16_t value;
};
struct TestSample {
    uint16_t t1, t2, t3, t4;
};
struct FreqDiffSample {
    int32_t freqDiffHz;
    uint16_t power;
};
struct TuningStatus {
    uint16_t state;
};
struct ExpectedPeaks {
    uint16_t mask;
};
struct ChangePeakOffset {
    int16_t offsetKHz;
};
struct SetPeakLabelByIndex {
    int peak;
};
struct SwitchCFTCalibrationMode {};
struct SpinValue {
    TSpinTarget target;
    double value;
};
struct LabelCaption {
    TLabelTarget target;
    QString caption;
};
struct BarPosition {
    TBarTarget target;
    int position;
};
struct TickStabilizationCheck {};
struct ScopeScaleRow {
    int row;
};
struct HarmonicRow {
    int row;
};
struct HarmonicRule {
    bool keepFourthHarmonic;
};
struct Beep {};
struct ErrorBeep {};
struct FirmwareAck {
    uint8_t code;
    uint8_t b2;
};
} // namespace Act

using TAction =
    std::variant<Act::CRCError, Act::ErrorSignalSample, Act::ServiceSample, Act::TestSample,
                 Act::FreqDiffSample, Act::TuningStatus, Act::ExpectedPeaks, Act::ChangePeakOffset,
                 Act::SetPeakLabelByIndex, Act::SwitchCFTCalibrationMode, Act::SpinValue,
                 Act::LabelCaption, Act::BarPosition, Act::TickStabilizationCheck,
                 Act::ScopeScaleRow, Act::HarmonicRow, Act::HarmonicRule, Act::Beep, Act::ErrorBeep,
                 Act::FirmwareAck>;

// The actions one delivery carries, applied in order in one call.
struct TDecodedReport {
    static constexpr int MaxActions = 3;

    TDelivery delivery = TDelivery::Queued;
    uint8_t count = 0;
    std::array<TAction, MaxActions> actions{};

    TDecodedReport() = default;
    explicit TDecodedReport(TDelivery d) : delivery(d) {}
    TDecodedReport& Add(TAction action) {
        actions.at(count) = std::move(action); // the largest row of the tables fits
        ++count;
        return *this;
    }
    const TAction* begin() const { return actions.data(); }
    const TAction* end() const { return actions.data() + count; }
};

// What one frame asks for: no delivery (ignored code), one, or two (the DSP firmware answer).
struct TDecodedFrame {
    uint8_t count = 0;
    std::array<TDecodedReport, 2> reports{};

    bool empty() const { return count == 0; }
    TDecodedReport& Add(TDelivery d) {
        TDecodedReport& r = reports.at(count);
        r = TDecodedReport(d);
        ++count;
        return r;
    }
    const TDecodedReport* begin() const { return reports.data(); }
    const TDecodedReport* end() const { return reports.data() + count; }
};

// The decoders of the three controller boards; frame = the 12 checked bytes. The locale gives
// the decimal separator of the CFT value text.
TDecodedFrame DecodeControllerBoardFrame(const uint8_t* frame, const QLocale& locale = QLocale());
TDecodedFrame DecodeDSPFrame(const uint8_t* frame);
TDecodedFrame DecodeFrequencyBoardFrame(const uint8_t* frame);
// By the sender nibble of b10: 1, 2 or 3; anything else decodes to nothing.
TDecodedFrame DecodeControllerFrame(const uint8_t* frame, const QLocale& locale = QLocale());

// Runs every action of the report on receiver, in order (on the GUI thread, except firmware
// acknowledgements, which go to the firmware updater wherever this runs).
void ApplyControllerReport(TControllerReceiver& receiver, const TDecodedReport& report);

// Texts and values of the decoded answers.
QString ILFirmwareVersionText(uint16_t w);  // "IL 1.2.3" for 0x1203
QString DSPFirmwareVersionText(uint16_t w); // "1.2.3" for 0x1203
// The fourth harmonic row stays only from DSP firmware 4.4.1 on (each part compared alone).
bool KeepFourthHarmonic(uint16_t w);
QString CFTRawText(uint16_t w);                          // "CFT Raw: 812"
QString CFTValueText(uint16_t w, const QLocale& locale); // 253 -> "25.3" / "25,3"
QString LifetimeText(int32_t minutes);                   // 75 -> "01:15"
// The error-signal sample as the chart shows it (17640 - raw).
inline constexpr int ErrorSignalZero = 17640;
inline int ErrorSignalChartValue(uint16_t raw) {
    return ErrorSignalZero - static_cast<int>(raw);
}
