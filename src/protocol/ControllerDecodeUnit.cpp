#include "protocol/ControllerDecodeUnit.h"

#include "protocol/CommandTableUnit.h"
#include "protocol/FirmwareAckUnit.h"

namespace {

using D = TDelivery;

uint16_t Word(const uint8_t* f, int at) {
    return static_cast<uint16_t>(f[at] | (f[at + 1] << 8));
}
uint32_t Long(const uint8_t* f, int at) {
    return static_cast<uint32_t>(f[at]) | (static_cast<uint32_t>(f[at + 1]) << 8) |
           (static_cast<uint32_t>(f[at + 2]) << 16) | (static_cast<uint32_t>(f[at + 3]) << 24);
}

bool IsFirmwareAck(uint8_t code) {
    return code >= Cmd::FwAddress && code <= 254;
}

// Version word: major in bits 12-15, minor in bits 8-11, patch in bits 0-7.
struct TVersion {
    int major, minor, patch;
};
TVersion Version(uint16_t w) {
    return {w >> 12, (w >> 8) & 0x0F, w & 0xFF};
}

QString TwoDigits(int32_t v) {
    return (v < 10 ? QStringLiteral("0") : QString()) + QString::number(v);
}

void Spin(TDecodedFrame& out, D d, TSpinTarget target, double value) {
    out.Add(d).Add(Act::SpinValue{target, value});
}

} // namespace

QString ILFirmwareVersionText(uint16_t w) {
    return QStringLiteral("IL ") + DSPFirmwareVersionText(w);
}

QString DSPFirmwareVersionText(uint16_t w) {
    const TVersion v = Version(w);
    return QStringLiteral("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.patch);
}

bool KeepFourthHarmonic(uint16_t w) {
    const TVersion v = Version(w);
    return v.major >= 4 && v.minor >= 4 && v.patch >= 1;
}

QString CFTRawText(uint16_t w) {
    return QStringLiteral("CFT Raw: ") + QString::number(w);
}

QString CFTValueText(uint16_t w, const QLocale& locale) {
    // Fixed notation, one decimal, no digit grouping; computed in integers so that 253 is
    // exactly "25.3".
    return QString::number(w / 10) + locale.decimalPoint() + QString::number(w % 10);
}

QString LifetimeText(int32_t minutes) {
    // Truncating division and remainder, as the controller's count is meant.
    return TwoDigits(minutes / 60) + QLatin1Char(':') + TwoDigits(minutes % 60);
}

TDecodedFrame DecodeControllerBoardFrame(const uint8_t* f, const QLocale& locale) {
    TDecodedFrame out;
    const uint8_t code = f[1];
    const uint16_t w = Word(f, 2);
    switch (code) {
    case 1:
        out.Add(D::Synchronised).Add(Act::ErrorSignalSample{w});
        break;
    case 3:
        out.Add(D::Synchronised).Add(Act::TuningStatus{Word(f, 4)});
        break;
    case 4:
        out.Add(D::Queued).Add(Act::BarPosition{TBarTarget::TuningMirror, f[2]});
        break;
    case 5:
        out.Add(D::Queued).Add(Act::BarPosition{TBarTarget::StabilizationMirror, f[2]});
        break;
    case 6:
        switch (f[2]) {
        case 1:
            out.Add(D::Queued).Add(Act::SetPeakLabelByIndex{f[3]}).Add(Act::Beep{});
            break;
        case 2:
            out.Add(D::Queued).Add(Act::Beep{});
            break;
        case 3:
            out.Add(D::Queued).Add(Act::ErrorBeep{});
            break;
        default:
            break;
        }
        break;
    case 8:
        out.Add(D::Queued).Add(Act::LabelCaption{TLabelTarget::CFTValue, CFTValueText(w, locale)});
        break;
    case 9:
        out.Add(D::Queued).Add(Act::ServiceSample{static_cast<int16_t>(w)});
        break;
    case 18:
        out.Add(D::Synchronised)
            .Add(Act::LabelCaption{TLabelTarget::PeakId, QString::number(f[2])});
        break;
    case Cmd::GetPhase:
        Spin(out, D::Queued, TSpinTarget::Phase, w);
        break;
    case Cmd::GetDelay:
        Spin(out, D::Queued, TSpinTarget::Delay, w);
        break;
    case Cmd::GetPathGain:
        // Above 2000 the answer carries the 'Stabilization check' flag as +2000.
        if (w <= 2000)
            Spin(out, D::Queued, TSpinTarget::PathGain, w);
        else
            out.Add(D::Queued)
                .Add(Act::SpinValue{TSpinTarget::PathGain, static_cast<double>(w - 2000)})
                .Add(Act::TickStabilizationCheck{});
        break;
    case Cmd::GetCFT:
        Spin(out, D::Queued, TSpinTarget::CFT, w / 10.0);
        break;
    case Cmd::GetP:
        Spin(out, D::Queued, TSpinTarget::P, w);
        break;
    case Cmd::GetI:
        Spin(out, D::Queued, TSpinTarget::I, w);
        break;
    case Cmd::GetD:
        Spin(out, D::Queued, TSpinTarget::D, w);
        break;
    case Cmd::GetPIDGain:
        Spin(out, D::Queued, TSpinTarget::PidGain, w);
        break;
    case Cmd::GetExpectedPeaks:
        if (w != 0)
            out.Add(D::Queued).Add(Act::ExpectedPeaks{w});
        break;
    case Cmd::GetScopeScale:
        out.Add(D::Queued).Add(Act::ScopeScaleRow{w - 1});
        break;
    case Cmd::GetSetPoint:
        Spin(out, D::Queued, TSpinTarget::SetPoint, static_cast<int8_t>(f[2]));
        break;
    case Cmd::GetHarmonic:
        out.Add(D::Queued).Add(Act::HarmonicRow{w});
        break;
    case Cmd::GetCFTTemp10:
        Spin(out, D::Queued, TSpinTarget::CFTTemp10, w);
        break;
    case Cmd::GetCFTTemp40:
        Spin(out, D::Queued, TSpinTarget::CFTTemp40, w);
        break;
    case Cmd::GetCFTOffset:
        out.Add(D::Queued)
            .Add(Act::SpinValue{TSpinTarget::CFTOffset, static_cast<double>(w)})
            .Add(Act::SwitchCFTCalibrationMode{});
        break;
    case Cmd::GetCFTRaw:
        out.Add(D::Queued).Add(Act::LabelCaption{TLabelTarget::CFTRaw, CFTRawText(w)});
        break;
    case Cmd::GetModulation:
        Spin(out, D::Queued, TSpinTarget::Modulation, w);
        break;
    case Cmd::GetFOffset: {
        const int16_t kHz = static_cast<int16_t>(w);
        out.Add(D::Queued)
            .Add(Act::SpinValue{TSpinTarget::FOffset, static_cast<double>(kHz)})
            .Add(Act::ChangePeakOffset{kHz});
        break;
    }
    case 123:
        out.Add(D::Queued).Add(Act::LabelCaption{TLabelTarget::Lifetime,
                                                 LifetimeText(static_cast<int32_t>(Long(f, 2)))});
        break;
    case 159: {
        const double mhz = static_cast<int32_t>(Long(f, 2)) / 1000000.0;
        out.Add(D::Queued)
            .Add(Act::SpinValue{TSpinTarget::FreqDifference1, mhz})
            .Add(Act::SpinValue{TSpinTarget::FreqDifference2, mhz});
        break;
    }
    case Cmd::GetFirmwareVersion:
        out.Add(D::Queued).Add(
            Act::LabelCaption{TLabelTarget::FirmwareVersionIL, ILFirmwareVersionText(w)});
        break;
    default:
        if (IsFirmwareAck(code))
            out.Add(D::ReceiveThread).Add(Act::FirmwareAck{code, f[2]});
        // codes 2 and 73 have empty handlers; everything else is not ours
        break;
    }
    return out;
}

TDecodedFrame DecodeDSPFrame(const uint8_t* f) {
    TDecodedFrame out;
    const uint8_t code = f[1];
    const uint16_t w = Word(f, 2);
    switch (code) {
    case 200:
        out.Add(D::Queued).Add(Act::TestSample{w, Word(f, 4), Word(f, 6), Word(f, 8)});
        break;
    case Cmd::DSPReadPID:
        out.Add(D::Synchronised)
            .Add(Act::SpinValue{TSpinTarget::DSPP, static_cast<double>(w)})
            .Add(Act::SpinValue{TSpinTarget::DSPI, static_cast<double>(Word(f, 4))})
            .Add(Act::SpinValue{TSpinTarget::DSPD, static_cast<double>(Word(f, 6))});
        break;
    case Cmd::DSPGetLifetime:
        Spin(out, D::Synchronised, TSpinTarget::Lifetime, Long(f, 2));
        break;
    case Cmd::DSPGetMirrorSwing:
        out.Add(D::Synchronised)
            .Add(Act::SpinValue{TSpinTarget::MirrorSwing1, static_cast<double>(w)})
            .Add(Act::SpinValue{TSpinTarget::MirrorSwing2, static_cast<double>(Word(f, 4))})
            .Add(Act::SpinValue{TSpinTarget::MirrorSwing3, static_cast<double>(Word(f, 6))});
        break;
    case Cmd::DSPGetOutSignalPeriod:
        Spin(out, D::Synchronised, TSpinTarget::OutSignalPeriod, w);
        break;
    case Cmd::DSPGetMirrorsUsage:
        Spin(out, D::Synchronised, TSpinTarget::MirrorsUsage, w);
        break;
    case Cmd::DSPGetFirmwareVersion: {
        // Delivered twice; the second delivery also applies the harmonic rule.
        const QString text = DSPFirmwareVersionText(w);
        out.Add(D::Queued).Add(Act::LabelCaption{TLabelTarget::FirmwareVersionDSP, text});
        out.Add(D::Queued)
            .Add(Act::LabelCaption{TLabelTarget::FirmwareVersionDSP, text})
            .Add(Act::HarmonicRule{KeepFourthHarmonic(w)});
        break;
    }
    default:
        if (IsFirmwareAck(code))
            out.Add(D::ReceiveThread).Add(Act::FirmwareAck{code, f[2]});
        break;
    }
    return out;
}

TDecodedFrame DecodeFrequencyBoardFrame(const uint8_t* f) {
    TDecodedFrame out;
    // The frequency board's boot-loader answers are not decoded.
    // A report of exactly 0 Hz counted nothing (no beat in the gate): it is no measurement, and
    // no display, chart, log, statistic or network message may take it for one.
    if (f[1] == 166 && Long(f, 2) != 0)
        out.Add(D::Queued).Add(Act::FreqDiffSample{static_cast<int32_t>(Long(f, 2)), Word(f, 6)});
    return out;
}

TDecodedFrame DecodeControllerFrame(const uint8_t* frame, const QLocale& locale) {
    switch (frame[10] >> 4) {
    case BoardController:
        return DecodeControllerBoardFrame(frame, locale);
    case BoardDSP:
        return DecodeDSPFrame(frame);
    case BoardFrequency:
        return DecodeFrequencyBoardFrame(frame);
    default:
        return {};
    }
}

namespace {
template <class... Ts> struct TOverloaded : Ts... { using Ts::operator()...; };
template <class... Ts> TOverloaded(Ts...) -> TOverloaded<Ts...>;
} // namespace

void ApplyControllerReport(TControllerReceiver& r, const TDecodedReport& report) {
    for (const TAction& action : report) {
        std::visit(
            TOverloaded{
                [&](const Act::CRCError&) { r.CRCError(); },
                [&](const Act::ErrorSignalSample& a) { r.AddErrorSignalSample(a.raw); },
                [&](const Act::ServiceSample& a) { r.AddServiceSample(a.value); },
                [&](const Act::TestSample& a) { r.AddTestSample(a.t1, a.t2, a.t3, a.t4); },
                [&](const Act::FreqDiffSample& a) { r.AddFreqDiffSample(a.freqDiffHz, a.power); },
                [&](const Act::TuningStatus& a) { r.ShowTuningStatus(a.state); },
                [&](const Act::ExpectedPeaks& a) { r.ExpectedPeaks(a.mask); },
                [&](const Act::ChangePeakOffset& a) { r.ChangePeakOffset(a.offsetKHz); },
                [&](const Act::SetPeakLabelByIndex& a) { r.SetPeakLabelByIndex(a.peak); },
                [&](const Act::SwitchCFTCalibrationMode&) { r.SwitchCFTCalibrationMode(); },
                [&](const Act::SpinValue& a) { r.SetSpinValue(a.target, a.value); },
                [&](const Act::LabelCaption& a) { r.SetLabelCaption(a.target, a.caption); },
                [&](const Act::BarPosition& a) { r.SetBarPosition(a.target, a.position); },
                [&](const Act::TickStabilizationCheck&) { r.TickStabilizationCheck(); },
                [&](const Act::ScopeScaleRow& a) { r.SetScopeScaleRow(a.row); },
                [&](const Act::HarmonicRow& a) { r.SetHarmonicRow(a.row); },
                [&](const Act::HarmonicRule& a) { r.ApplyHarmonicRule(a.keepFourthHarmonic); },
                [&](const Act::Beep&) { r.Beep(); },
                [&](const Act::ErrorBeep&) { r.ErrorBeep(); },
                [&](const Act::FirmwareAck& a) { DeliverFirmwareAck(a.code, a.b2); },
            },
            action);
    }
}
