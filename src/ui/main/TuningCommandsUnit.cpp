#include "ui/main/TuningCommandsUnit.h"

#include "protocol/CommandTableUnit.h"
#include "protocol/ConversionUnit.h"
#include "protocol/SendFrameUnit.h"

std::vector<TCommand> StartCommands(bool automatic, int setPeakListBoxIndex, int firstIndex) {
    std::vector<TCommand> commands{
        {BoardController, Cmd::StartStep1, 1},
        {BoardController, Cmd::StartStep2, 1},
    };
    if (automatic)
        commands.push_back({BoardController, Cmd::GoToPeak,
                            Conv::Low16(int64_t{setPeakListBoxIndex} + firstIndex + 1)});
    else
        commands.push_back({BoardController, Cmd::HalfAutomatic, 1});
    return commands;
}

TCommand LockCommand() {
    return {BoardController, Cmd::Lock};
}

TCommand SimpleButtonCommand(int peakNumber) {
    return {BoardController, Cmd::GoToPeak, Conv::LowByte(peakNumber)};
}

TCommand StartStep2Command() {
    return {BoardController, Cmd::StartStep2, 1};
}

TCommand FreqDifferenceCommand(double megahertz) {
    const int64_t hertz = Conv::Round(megahertz * 1000000.0);
    return {BoardLaserHead, Cmd::LHSetWavelength, Conv::Low16(hertz), Conv::High16(hertz)};
}

std::optional<TCommand> HarmonicCommand(int row) {
    if (row < 0)
        return std::nullopt;
    return TCommand{BoardController, Cmd::SetHarmonic, Conv::Low16(row)};
}

std::optional<TCommand> ScopeScaleCommand(int row) {
    if (row < 0)
        return std::nullopt;
    return TCommand{BoardController, Cmd::SetScopeScale, Conv::Low16(row + 1)};
}

void SendCommand(const TCommand& command) {
    SendParamsFrame(command.Target, command.Code, command.W0, command.W1, command.W2, command.W3);
}
