#include "SimTestSupport.h"

#include "protocol/SendFrameUnit.h"

#include <QStringList>

void TRxSplitter::Feed(const QByteArray& bytes, int64_t timeNs, std::vector<TRxFrame>& out) {
    FPending.append(bytes);
    qsizetype pos = 0;
    while (pos < FPending.size()) {
        if (static_cast<uint8_t>(FPending[pos]) != 0xAF) {
            ++SkippedBytes;
            ++pos;
            continue;
        }
        if (FPending.size() - pos < 12)
            break;
        TRxFrame f;
        std::memcpy(f.b, FPending.constData() + pos, 12);
        if (FrameChecksum(f.b) != f.b[11]) {
            ++BadSums;
            ++pos;
            continue;
        }
        f.TimeNs = timeNs;
        out.push_back(f);
        pos += 12;
    }
    FPending.remove(0, pos);
}

TSimLink::TSimLink(const TSimulatorOptions& options) : Sim(options) {
    Sim.Install();
    Connection = new TConnection;
}

TSimLink::~TSimLink() {
    Connection->Disconnect();
    delete Connection;
    Connection = nullptr;
}

bool TSimLink::Connect() {
    QStringList names;
    Connection->GetAvailableDevices(names);
    if (names.isEmpty())
        return false;
    Connection->SetDeviceID(names.first());
    return Connection->Connect();
}

std::vector<TRxFrame> TSimLink::Pump(double ms, double stepMs) {
    std::vector<TRxFrame> frames;
    for (double done = 0; done < ms; done += stepMs) {
        Sim.AdvanceMs(std::min(stepMs, ms - done));
        uint32_t count = 0;
        if (!Connection->GetReadDataCount(count) || count == 0)
            continue;
        QByteArray bytes(static_cast<qsizetype>(count), '\0');
        if (Connection->Read(bytes.data(), count))
            Splitter.Feed(bytes.left(count), Sim.NowNs(), frames);
    }
    return frames;
}

std::vector<TRxFrame> TSimLink::Only(const std::vector<TRxFrame>& frames, uint8_t sender,
                                     uint8_t code) {
    std::vector<TRxFrame> out;
    for (const TRxFrame& f : frames)
        if (f.Sender() == sender && f.Code() == code)
            out.push_back(f);
    return out;
}

std::vector<TRxFrame> TSimLink::Ask(uint8_t target, uint8_t code, uint16_t w0, uint16_t w1,
                                    uint16_t w2, uint16_t w3) {
    SendParamsFrame(target, code, w0, w1, w2, w3);
    return Only(Pump(50), target, code);
}
