#pragma once
// Names of command codes, for printing frames (the frame monitor).

#include <QString>

#include <cstdint>

// The command table's name of code on board (1 to 4), e.g. CommandName(1, 54) = "SetPhase".
// A board's answer carries its request's code, so for a frame FROM a board, CommandName(sender,
// code) names the request it answers. Empty when the board has no command with that code.
QString CommandName(uint8_t board, uint8_t code);

// Names of the reports the boards send on their own (no request of the PC has their code),
// e.g. ReportName(1, 3) = "TuningStatus". Empty for anything else.
QString ReportName(uint8_t sender, uint8_t code);

// The name of a whole 12-byte frame: a frame from the PC (sender nibble 15) by its command, a
// frame from a board by the request it answers or else by its report name. Empty when unknown.
QString FrameName(const uint8_t* frame);
