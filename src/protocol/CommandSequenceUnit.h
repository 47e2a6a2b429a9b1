#pragma once
// The fixed request sequences the main window sends: after a connect, 'Read', 'Read FW', 'Hide'.
// Each goes out back to back; the answers come back later through the receive thread.

#include <array>
#include <cstdint>
#include <span>

struct TRequest {
    uint8_t target;
    uint8_t code;
};

// After a successful connect: f offset, scope scale, init, harmonic, expected peaks, the laser
// head's wavelength, the DSP firmware version.
extern const std::array<TRequest, 7> ConnectRequests;
// 'Read': every readable setting of the controller main board, then of the DSP board.
extern const std::array<TRequest, 20> ReadParamsRequests;
// 'Read FW': both controller boards' firmware versions.
extern const std::array<TRequest, 2> ReadFirmwareRequests;
// 'Hide': the expected peaks once more.
extern const std::array<TRequest, 1> HideRequests;

// Sends each request as a frame without data, in order (the device-kind filter applies).
void SendRequests(std::span<const TRequest> requests);

void SendConnectRequests();      // TMainForm.ConnectButtonClick
void SendReadParamsRequests();   // TMainForm.ReadParamsButtonClick
void SendReadFirmwareRequests(); // TMainForm.ReadFWButtonClick
void SendHideRequests();         // TMainForm.HideButtonClick
