#pragma once
// Colon-record image files (".hex", ".hex1", ".hex2") of the microcontroller boards.

#include "firmware/FirmwareUpdaterGlobalUnit.h"

// Record ":LLAAAATT<data>CC": byte count, 16-bit offset, type, data, checksum (the two's
// complement of the sum of the other bytes). Type 0 is data, 1 the end of the file, 4 sets the
// upper 16 address bits for the records after it; 2, 3 and 5 carry nothing used here.
class TAVRFileParser : public TFirmwareFileParser {
public:
    TAVRFileParser();

    bool ParseLine(const QString& line, uint32_t& address, TFirmwareBytes& data,
                   int32_t& length) override;

protected:
    void StartFile() override { FExtAddress = 0; }

private:
    uint32_t FExtAddress = 0;
};
