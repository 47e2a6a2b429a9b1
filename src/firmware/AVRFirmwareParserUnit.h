#pragma once
// Colon-record image files (".hex", ".hex1", ".hex2") of the microcontroller boards.

#include "firmware/FirmwareUpdaterGlobalUnit.h"

// Record ":LLAAAATT<data>CC": byte count, 16-bit offset, type, data, checksum (the two's
// complement of the sum of the other bytes). Type 0 is data, 1 the end of the file; 2 (segment
// x 16) and 4 (upper 16 bits) set the start of the 64 KiB window the data records after it
// address; 3 and 5 (start addresses) carry nothing used here.
class TAVRFileParser : public TFirmwareFileParser {
public:
    TAVRFileParser();

    bool ParseLine(const QString& line, uint32_t& address, TFirmwareBytes& data,
                   int32_t& length) override;

protected:
    void StartFile() override { FExtAddress = 0; }

private:
    uint32_t FExtAddress = 0; // start of the window, from the last type 2 or 4 record
};
