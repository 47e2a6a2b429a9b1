// Arbitrary bytes from the link through the receive buffer, in reads of arbitrary sizes, with
// every controller frame decoded and applied.
//
// Input: byte 0 chooses the firmware-update filter (and, with bit 7 set, mends the checksum of
// every candidate so that decoding sees many valid frames), byte 1 seeds the read sizes, the
// rest is the stream. Besides the sanitizers it checks that the frames found and checksum errors
// counted do not depend on how the stream was cut into reads (nothing lost at a buffer boundary),
// and that the carried tail always stays shorter than a frame.

#include "protocol/ControllerDecodeUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "protocol/SendFrameUnit.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TNullReceiver : TControllerReceiver {
    uint64_t sink = 0;
    void CRCError() override { ++sink; }
    void AddErrorSignalSample(uint16_t raw) override { sink += raw; }
    void AddServiceSample(int16_t value) override { sink += uint16_t(value); }
    void AddTestSample(uint16_t a, uint16_t b, uint16_t c, uint16_t d) override {
        sink += a + b + c + d;
    }
    void AddFreqDiffSample(int32_t f, uint16_t p) override { sink += uint32_t(f) + p; }
    void ShowTuningStatus(uint16_t s) override { sink += s; }
    void ExpectedPeaks(uint16_t m) override { sink += m; }
    void ChangePeakOffset(int16_t o) override { sink += uint16_t(o); }
    void SetPeakLabelByIndex(int p) override { sink += unsigned(p); }
    void SwitchCFTCalibrationMode() override { ++sink; }
    void SetSpinValue(TSpinTarget t, double v) override { sink += unsigned(t) + uint64_t(v != 0); }
    void SetLabelCaption(TLabelTarget, const QString& c) override { sink += size_t(c.size()); }
    void SetBarPosition(TBarTarget, int p) override { sink += unsigned(p); }
    void TickStabilizationCheck() override { ++sink; }
    void SetScopeScaleRow(int r) override { sink += unsigned(r); }
    void SetHarmonicRow(int r) override { sink += unsigned(r); }
    void ApplyHarmonicRule(bool k) override { sink += k; }
    void Beep() override { ++sink; }
    void ErrorBeep() override { ++sink; }
};

struct TAckSink : TFirmwareAckSink {
    int32_t id = 0;
    void SetAckEvent(int32_t frameId) override {
        if (frameId < 247 || frameId > 254)
            std::abort();
    }
    void SetStatus(uint8_t status) override {
        if (status > 0x0F)
            std::abort();
    }
    int32_t devId() const override { return id; }
};

// Records the order of checksum errors and checked frames, and applies every report.
struct TDispatcher : TFrameDispatcher {
    TNullReceiver receiver;
    std::string trace;
    void CRCError() override { trace += 'C'; }
    void FrameChecked(const uint8_t* frame) override {
        if (frame[0] != FrameStart || FrameChecksum(frame) != frame[11])
            std::abort();
        trace += 'F';
        trace.append(reinterpret_cast<const char*>(frame), FrameSize);
    }
    void Deliver(const TDecodedReport& report) override { ApplyControllerReport(receiver, report); }
    void LaserHeadFrame(const uint8_t* frame) override {
        if ((frame[10] >> 4) != BoardLaserHead)
            std::abort();
    }
};

// The same scan over the whole stream at once, without a buffer.
std::string Reference(const uint8_t* data, size_t size) {
    std::string trace;
    size_t pos = 0;
    while (pos < size) {
        if (data[pos] != FrameStart) {
            ++pos;
            continue;
        }
        if (size - pos < FrameSize)
            break;
        if (FrameChecksum(data + pos) != data[pos + 11]) {
            trace += 'C';
            ++pos;
            continue;
        }
        trace += 'F';
        trace.append(reinterpret_cast<const char*>(data + pos), FrameSize);
        pos += FrameSize;
    }
    return trace;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    static TAckSink ack;
    FirmwareAckSink = &ack;
    UpdatingDeviceId = data[0] % 6;
    ack.id = (data[0] >> 3) % 6;
    uint32_t seed = data[1] * 2654435761u + 1;
    const bool mendChecksums = (data[0] & 0x80) != 0;
    std::vector<uint8_t> stream(data + 2, data + size);
    if (mendChecksums)
        for (size_t p = 0; p + FrameSize <= stream.size(); ++p)
            if (stream[p] == FrameStart)
                stream[p + 11] = FrameChecksum(stream.data() + p);
    data = stream.data();
    size = stream.size();

    TDispatcher dispatcher;
    TFrameExtractor extractor(dispatcher, QLocale::c());
    size_t at = 0;
    while (at < size) {
        seed = seed * 1103515245u + 12345u;
        // Mostly small reads, sometimes whatever fits.
        const uint32_t want = (seed >> 16) % 8 == 0 ? extractor.FreeSpace() : 1 + (seed >> 16) % 40;
        const uint32_t n = uint32_t(std::min<size_t>({size - at, want, extractor.FreeSpace()}));
        std::memcpy(extractor.FreeData(), data + at, n);
        extractor.Extract(n);
        at += n;
        if (extractor.Carry() >= FrameSize ||
            extractor.FreeSpace() < TFrameExtractor::BufferSize - 11)
            std::abort();
    }
    if (dispatcher.trace != Reference(data, size))
        std::abort();
    UpdatingDeviceId = 0;
    return 0;
}
