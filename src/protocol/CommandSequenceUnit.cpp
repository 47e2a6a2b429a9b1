#include "protocol/CommandSequenceUnit.h"

#include "protocol/CommandTableUnit.h"
#include "protocol/SendFrameUnit.h"

const std::array<TRequest, 7> ConnectRequests{{
    {BoardController, Cmd::GetFOffset},
    {BoardController, Cmd::GetScopeScale},
    {BoardController, Cmd::InitRequest},
    {BoardController, Cmd::GetHarmonic},
    {BoardController, Cmd::GetExpectedPeaks},
    {BoardLaserHead, Cmd::LHGetWavelength},
    {BoardDSP, Cmd::DSPGetFirmwareVersion},
}};

const std::array<TRequest, 20> ReadParamsRequests{{
    {BoardController, Cmd::GetPhase},
    {BoardController, Cmd::GetDelay},
    {BoardController, Cmd::GetPathGain},
    {BoardController, Cmd::GetCFT},
    {BoardController, Cmd::GetP},
    {BoardController, Cmd::GetI},
    {BoardController, Cmd::GetD},
    {BoardController, Cmd::GetPIDGain},
    {BoardController, Cmd::GetExpectedPeaks},
    {BoardController, Cmd::GetSetPoint},
    {BoardController, Cmd::GetCFTTemp10},
    {BoardController, Cmd::GetCFTTemp40},
    {BoardController, Cmd::GetCFTOffset},
    {BoardController, Cmd::GetCFTRaw},
    {BoardController, Cmd::GetModulation},
    {BoardController, Cmd::GetFOffset},
    {BoardDSP, Cmd::DSPGetMirrorSwing},
    {BoardDSP, Cmd::DSPGetOutSignalPeriod},
    {BoardDSP, Cmd::DSPGetMirrorsUsage},
    {BoardDSP, Cmd::DSPGetLifetime},
}};

const std::array<TRequest, 2> ReadFirmwareRequests{{
    {BoardController, Cmd::GetFirmwareVersion},
    {BoardDSP, Cmd::DSPGetFirmwareVersion},
}};

const std::array<TRequest, 1> HideRequests{{
    {BoardController, Cmd::GetExpectedPeaks},
}};

void SendRequests(std::span<const TRequest> requests) {
    for (const TRequest& r : requests)
        SendParamsFrame(r.target, r.code);
}

void SendConnectRequests() {
    SendRequests(ConnectRequests);
}
void SendReadParamsRequests() {
    SendRequests(ReadParamsRequests);
}
void SendReadFirmwareRequests() {
    SendRequests(ReadFirmwareRequests);
}
void SendHideRequests() {
    SendRequests(HideRequests);
}
