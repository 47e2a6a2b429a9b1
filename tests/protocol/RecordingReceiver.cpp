#include "RecordingReceiver.h"

#include <QString>

namespace {
std::string Num(double v) {
    return QString::number(v, 'g', 15).toStdString();
}
template <class... A> std::string Call(const char* name, A... args) {
    std::string out = name;
    out += '(';
    bool first = true;
    ((out += (first ? "" : ","), out += args, first = false), ...);
    out += ')';
    return out;
}
std::string N(double v) {
    return Num(v);
}
} // namespace

const char* SpinName(TSpinTarget t) {
    static const char* const names[] = {"Phase",
                                        "Delay",
                                        "PathGain",
                                        "CFT",
                                        "P",
                                        "I",
                                        "D",
                                        "PidGain",
                                        "SetPoint",
                                        "CFTTemp10",
                                        "CFTTemp40",
                                        "CFTOffset",
                                        "Modulation",
                                        "FOffset",
                                        "FreqDifference1",
                                        "FreqDifference2",
                                        "DSPP",
                                        "DSPI",
                                        "DSPD",
                                        "Lifetime",
                                        "MirrorSwing1",
                                        "MirrorSwing2",
                                        "MirrorSwing3",
                                        "OutSignalPeriod",
                                        "MirrorsUsage"};
    return names[static_cast<int>(t)];
}

const char* LabelName(TLabelTarget t) {
    static const char* const names[] = {
        "CFTValue", "CFTRaw", "Lifetime", "PeakId", "FirmwareVersionIL", "FirmwareVersionDSP"};
    return names[static_cast<int>(t)];
}

void TRecordingReceiver::Add(std::string call) {
    std::lock_guard g(FMutex);
    FRecords.push_back({std::move(call), QThread::currentThread(), RecordSequence++});
}
std::vector<TRecord> TRecordingReceiver::Records() const {
    std::lock_guard g(FMutex);
    return FRecords;
}
std::vector<std::string> TRecordingReceiver::Calls() const {
    std::vector<std::string> out;
    for (const TRecord& r : Records())
        out.push_back(r.call);
    return out;
}
size_t TRecordingReceiver::Count() const {
    std::lock_guard g(FMutex);
    return FRecords.size();
}
void TRecordingReceiver::Clear() {
    std::lock_guard g(FMutex);
    FRecords.clear();
}

void TRecordingReceiver::CRCError() {
    Add("CRCError()");
}
void TRecordingReceiver::AddErrorSignalSample(uint16_t raw) {
    Add(Call("AddErrorSignalSample", N(raw)));
}
void TRecordingReceiver::AddServiceSample(int16_t value) {
    Add(Call("AddServiceSample", N(value)));
}
void TRecordingReceiver::AddTestSample(uint16_t t1, uint16_t t2, uint16_t t3, uint16_t t4) {
    Add(Call("AddTestSample", N(t1), N(t2), N(t3), N(t4)));
}
void TRecordingReceiver::AddFreqDiffSample(int32_t freqDiffHz, uint16_t power) {
    Add(Call("AddFreqDiffSample", N(freqDiffHz), N(power)));
}
void TRecordingReceiver::ShowTuningStatus(uint16_t state) {
    Add(Call("ShowTuningStatus", N(state)));
}
void TRecordingReceiver::ExpectedPeaks(uint16_t mask) {
    Add(Call("ExpectedPeaks", N(mask)));
}
void TRecordingReceiver::ChangePeakOffset(int16_t offsetKHz) {
    Add(Call("ChangePeakOffset", N(offsetKHz)));
}
void TRecordingReceiver::SetPeakLabelByIndex(int peak) {
    Add(Call("SetPeakLabelByIndex", N(peak)));
}
void TRecordingReceiver::SwitchCFTCalibrationMode() {
    Add("SwitchCFTCalibrationMode()");
}
void TRecordingReceiver::SetSpinValue(TSpinTarget target, double value) {
    Add(Call("SetSpinValue", std::string(SpinName(target)), N(value)));
}
void TRecordingReceiver::SetLabelCaption(TLabelTarget target, const QString& caption) {
    Add(Call("SetLabelCaption", std::string(LabelName(target)), caption.toStdString()));
}
void TRecordingReceiver::SetBarPosition(TBarTarget target, int position) {
    Add(Call(
        "SetBarPosition",
        std::string(target == TBarTarget::TuningMirror ? "TuningMirror" : "StabilizationMirror"),
        N(position)));
}
void TRecordingReceiver::TickStabilizationCheck() {
    Add("TickStabilizationCheck()");
}
void TRecordingReceiver::SetScopeScaleRow(int row) {
    Add(Call("SetScopeScaleRow", N(row)));
}
void TRecordingReceiver::SetHarmonicRow(int row) {
    Add(Call("SetHarmonicRow", N(row)));
}
void TRecordingReceiver::ApplyHarmonicRule(bool keepFourthHarmonic) {
    Add(Call("ApplyHarmonicRule", std::string(keepFourthHarmonic ? "keep" : "cut")));
}
void TRecordingReceiver::Beep() {
    Add("Beep()");
}
void TRecordingReceiver::ErrorBeep() {
    Add("ErrorBeep()");
}
void TRecordingReceiver::LinkFailed(uint32_t) {
    Add("LinkFailed()"); // the time depends on the machine's timing, not on the frames
}

TRecordingAckSink::TRecordingAckSink(int32_t devId) : FDevId(devId) {
    FirmwareAckSink.store(this);
}
TRecordingAckSink::~TRecordingAckSink() {
    FirmwareAckSink.store(nullptr);
}
void TRecordingAckSink::SetAckEvent(int32_t frameId) {
    std::lock_guard g(FMutex);
    FRecords.push_back(
        {Call("SetAckEvent", N(frameId)), QThread::currentThread(), RecordSequence++});
}
void TRecordingAckSink::SetStatus(uint8_t status) {
    std::lock_guard g(FMutex);
    FRecords.push_back({Call("SetStatus", N(status)), QThread::currentThread(), RecordSequence++});
}
std::vector<TRecord> TRecordingAckSink::Records() const {
    std::lock_guard g(FMutex);
    return FRecords;
}
std::vector<std::string> TRecordingAckSink::Calls() const {
    std::vector<std::string> out;
    for (const TRecord& r : Records())
        out.push_back(r.call);
    return out;
}

TFrame BoardFrame(uint8_t sender, uint8_t code, std::initializer_list<uint8_t> data,
                  uint8_t receiver) {
    uint8_t bytes[8] = {};
    int i = 0;
    for (uint8_t b : data)
        if (i < 8)
            bytes[i++] = b;
    TFrame f = BuildFrame(0, code, bytes);
    f[10] = static_cast<uint8_t>((sender << 4) | (receiver & 0x0F));
    f[11] = FrameChecksum(f);
    return f;
}

TFrame BoardFrameW(uint8_t sender, uint8_t code, uint16_t w0, uint16_t w1, uint16_t w2,
                   uint16_t w3) {
    auto lo = [](uint16_t w) { return static_cast<uint8_t>(w & 0xFF); };
    auto hi = [](uint16_t w) { return static_cast<uint8_t>(w >> 8); };
    return BoardFrame(sender, code,
                      {lo(w0), hi(w0), lo(w1), hi(w1), lo(w2), hi(w2), lo(w3), hi(w3)});
}

QByteArray Bytes(const TFrame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.data()), static_cast<qsizetype>(f.size()));
}

std::string Render(const TDecodedReport& report) {
    static const char* const modes[] = {"Q", "S", "R"};
    std::string out = modes[static_cast<int>(report.delivery)];
    for (const TAction& action : report) {
        out += ' ';
        if (const auto* ack = std::get_if<Act::FirmwareAck>(&action)) {
            out += Call("FirmwareAck", N(ack->code), N(ack->b2));
        } else {
            TRecordingReceiver r;
            ApplyControllerReport(r, TDecodedReport(report.delivery).Add(action));
            out += r.Calls().at(0);
        }
    }
    return out;
}

std::vector<std::string> Render(const TDecodedFrame& decoded) {
    std::vector<std::string> out;
    for (const TDecodedReport& r : decoded)
        out.push_back(Render(r));
    return out;
}
