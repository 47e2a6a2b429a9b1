#pragma once
// Test doubles of the receive side: a receiver recording every main-window operation (with its
// values and the thread it ran on), a firmware acknowledgement sink, and a frame builder.

#include "protocol/CommandTableUnit.h"
#include "protocol/ControllerDecodeUnit.h"
#include "protocol/ControllerReceiverUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/SendFrameUnit.h"

#include <QByteArray>
#include <QThread>

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

// One order for everything the doubles record, across threads.
inline std::atomic<int> RecordSequence{0};

struct TRecord {
    std::string call;
    QThread* thread;
    int sequence;
};

const char* SpinName(TSpinTarget t);
const char* LabelName(TLabelTarget t);

class TRecordingReceiver : public TControllerReceiver {
public:
    std::vector<TRecord> Records() const;
    std::vector<std::string> Calls() const;
    size_t Count() const;
    void Clear();

    void CRCError() override;
    void AddErrorSignalSample(uint16_t raw) override;
    void AddServiceSample(int16_t value) override;
    void AddTestSample(uint16_t t1, uint16_t t2, uint16_t t3, uint16_t t4) override;
    void AddFreqDiffSample(int32_t freqDiffHz, uint16_t power) override;
    void ShowTuningStatus(uint16_t state) override;
    void ExpectedPeaks(uint16_t mask) override;
    void ChangePeakOffset(int16_t offsetKHz) override;
    void SetPeakLabelByIndex(int peak) override;
    void SwitchCFTCalibrationMode() override;
    void SetSpinValue(TSpinTarget target, double value) override;
    void SetLabelCaption(TLabelTarget target, const QString& caption) override;
    void SetBarPosition(TBarTarget target, int position) override;
    void TickStabilizationCheck() override;
    void SetScopeScaleRow(int row) override;
    void SetHarmonicRow(int row) override;
    void ApplyHarmonicRule(bool keepFourthHarmonic) override;
    void Beep() override;
    void ErrorBeep() override;
    void LinkFailed(uint32_t failingMs) override; // recorded as "LinkFailed()"

private:
    void Add(std::string call);
    mutable std::mutex FMutex;
    std::vector<TRecord> FRecords;
};

// Registered as the firmware acknowledgement sink for its lifetime.
class TRecordingAckSink : public TFirmwareAckSink {
public:
    explicit TRecordingAckSink(int32_t devId = 0);
    ~TRecordingAckSink() override;
    void SetAckEvent(int32_t frameId) override;
    void SetStatus(uint8_t status) override;
    int32_t devId() const override { return FDevId.load(); }
    void SetDevId(int32_t id) { FDevId = id; }
    std::vector<TRecord> Records() const;
    std::vector<std::string> Calls() const;

private:
    std::atomic<int32_t> FDevId;
    mutable std::mutex FMutex;
    std::vector<TRecord> FRecords;
};

// A frame from sender to receiver (the PC unless told) with the given data bytes b2..
TFrame BoardFrame(uint8_t sender, uint8_t code, std::initializer_list<uint8_t> data = {},
                  uint8_t receiver = PCAddress);
TFrame BoardFrameW(uint8_t sender, uint8_t code, uint16_t w0, uint16_t w1 = 0, uint16_t w2 = 0,
                   uint16_t w3 = 0);
QByteArray Bytes(const TFrame& f);

// "Q SetSpinValue(Phase,300)" -- a report as text: delivery, then each operation it applies.
std::string Render(const TDecodedReport& report);
// Every report of a decoded frame, in order.
std::vector<std::string> Render(const TDecodedFrame& decoded);
