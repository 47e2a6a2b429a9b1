#pragma once
// The simulated laser system: an FTDI adapter with the controller main board, the DSP board, the
// frequency board and the HeNe laser head behind it, offered as a D2XX table.
//
// Everything from TUSBConnection up runs unchanged against it. Time is simulated: in real-time
// mode it follows the steady clock and is worked out on each driver call (no thread, no timer);
// with a manual clock it moves only when a test calls Advance.
//
// The link is modelled as the hardware does it: the boards' frames leave one after another at
// the line rate (11,520 bytes/s), the adapter gathers them and hands them to the PC when 62
// bytes have gathered or its latency timer runs out; commands from the PC reach the boards at
// the same line rate.
//
// Program:
//     TSimulatorRequest request = ParseSimulatorArguments(app.arguments());
//     std::unique_ptr<TSimulatedLaserSystem> sim;
//     if (request.Requested) { sim = std::make_unique<TSimulatedLaserSystem>(request.Options);
//                              sim->Install(); }

#include "link/D2XX_Unit.h"
#include "sim/SimOptionsUnit.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

// What the program told the adapter since it was last opened, and how often it opened it.
struct TSimLineSettings {
    uint32_t BaudRate = 9600; // the adapter's power-on setting
    uint8_t WordLength = 8;
    uint8_t StopBits = 0;
    uint8_t Parity = 0;
    uint32_t ReadTimeoutMs = 0;
    uint32_t WriteTimeoutMs = 0;
    uint8_t LatencyMs = 16;
    uint32_t LastPurgeMask = 0;
    int Purges = 0;
    int Opens = 0;  // over the simulator's life
    int Closes = 0; // over the simulator's life
};

// A good command frame as the boards received it.
struct TSimCommand {
    int64_t TimeNs = 0; // when its last byte arrived
    uint8_t Target = 0;
    uint8_t Code = 0;
    std::array<uint8_t, 8> Data{};
    uint16_t Word(int i) const {
        return static_cast<uint16_t>(Data[2 * i] | (Data[2 * i + 1] << 8));
    }
};

struct TSimCounters {
    uint64_t FramesSent = 0;       // frames the boards sent (faults applied)
    uint64_t FramesLost = 0;       // nobody listening, or the boards' queue full
    uint64_t FramesCorrupted = 0;  // sent with a wrong checksum on purpose
    uint64_t GarbageBytes = 0;     // put on the line on purpose
    uint64_t BytesDelivered = 0;   // handed to the PC's receive queue
    uint64_t BytesRead = 0;        // read by the program
    uint64_t BadCommandFrames = 0; // command bytes the boards could not make a frame of
    uint64_t CommandFrames = 0;    // good command frames from the PC the boards received
};

class TSimulatedLaserSystem : public TD2XXTable {
public:
    explicit TSimulatedLaserSystem(const TSimulatorOptions& options = {});
    ~TSimulatedLaserSystem() override; // uninstalls itself
    TSimulatedLaserSystem(const TSimulatedLaserSystem&) = delete;
    TSimulatedLaserSystem& operator=(const TSimulatedLaserSystem&) = delete;

    // --- for the program ------------------------------------------------------------------
    void Install();   // becomes the D2XX table
    void Uninstall(); // back to the vendor library, if this table is the one installed
    const TSimulatorOptions& Options() const;
    QString Description() const; // the adapter's USB description
    QString ModelName() const;   // "QRX-7A" or "TMVK v2"
    int32_t Kind() const;        // 111111 or 222222

    // --- clock ----------------------------------------------------------------------------
    // Moves simulated time on (with a real-time clock: skips ahead) and runs what falls due.
    void Advance(std::chrono::nanoseconds step);
    void AdvanceMs(double ms);
    int64_t NowNs();

    // --- faults ---------------------------------------------------------------------------
    void AddAnswerFault(const TAnswerFault& fault);
    void SetLineFaults(const TLineFaults& faults);
    void ClearFaults();
    // Raw bytes put on the line to the PC now, behind the frames already waiting.
    void InjectLineBytes(const QByteArray& bytes);
    void Unplug(); // the adapter leaves the bus: its handle is dead for good
    void Replug(); // it is listed again (a new open is needed)
    bool Plugged();
    // Unplugs when the simulated clock reaches this time (ms since the simulator was made).
    void UnplugAtMs(double simulatedMs);
    // Unplugs right after the boards received the nth command with this target and code.
    void UnplugOnCommand(uint8_t target, uint8_t code, int nth = 1);
    // The controller drops out of lock now and locks on the same peak again by itself.
    void DropLock();

    // --- observation ----------------------------------------------------------------------
    TSimLineSettings LineSettings();
    std::vector<TSimCommand> Commands(); // in order of arrival
    void ClearCommands();
    TSimCounters Counters();
    uint16_t TuningStatus();
    int LockedPeak(); // 0 unless locked
    uint16_t ControllerSetting(uint8_t readCode);
    int LaserHeadState(); // -1 without a laser head
    uint32_t LaserHeadFrequencyDifference();
    bool LaserHeadStatusMode();
    uint16_t DSPOutSignalPeriod();
    // The boot loader of board 1, 2 or 4.
    bool InBootLoader(uint8_t board);
    int Erases(uint8_t board);
    int Finishes(uint8_t board);
    // Bytes programmed into a board from the address on (in the board's unit: 16-bit words on
    // the DSP board, bytes on the others), 0xFF where nothing is.
    QByteArray Programmed(uint8_t board, uint32_t address, int length);

    // --- the D2XX table -------------------------------------------------------------------
    FT_STATUS CreateDeviceInfoList(FT_DWORD* lpdwNumDevs) override;
    FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, FT_DWORD* lpdwNumDevs) override;
    FT_STATUS OpenEx(void* pArg1, FT_DWORD Flags, FT_HANDLE* pHandle) override;
    FT_STATUS SetBaudRate(FT_HANDLE ftHandle, FT_DWORD BaudRate) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t WordLength, uint8_t StopBits,
                                     uint8_t Parity) override;
    FT_STATUS SetTimeouts(FT_HANDLE ftHandle, FT_DWORD ReadTimeout, FT_DWORD WriteTimeout) override;
    FT_STATUS SetLatencyTimer(FT_HANDLE ftHandle, uint8_t ucLatency) override;
    FT_STATUS Purge(FT_HANDLE ftHandle, FT_DWORD Mask) override;
    FT_STATUS GetQueueStatus(FT_HANDLE ftHandle, FT_DWORD* dwRxBytes) override;
    FT_STATUS Read(FT_HANDLE ftHandle, void* lpBuffer, FT_DWORD dwBytesToRead,
                   FT_DWORD* lpBytesReturned) override;
    FT_STATUS Write(FT_HANDLE ftHandle, const void* lpBuffer, FT_DWORD dwBytesToWrite,
                    FT_DWORD* lpBytesWritten) override;
    FT_STATUS CyclePort(FT_HANDLE ftHandle) override;
    FT_STATUS GetLibraryVersion(FT_DWORD* lpdwVersion) override;
    FT_STATUS Close(FT_HANDLE ftHandle) override;

private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};

// The program's command-line switch. "--simulator" simulates the controller with a laser head
// ("QRX-7A", kind 111111); "--simulator=222222" (or "=tmvk") the second model ("TMVK v2").
// Without the switch Requested is false and nothing is simulated; an unknown value sets Error.
struct TSimulatorRequest {
    bool Requested = false;
    TSimulatorOptions Options;
    QString Error;
};
TSimulatorRequest ParseSimulatorArguments(const QStringList& arguments);
