#pragma once
// Percent-record image files (".x0" and one more character) of the signal-processor boards.

#include "firmware/FirmwareUpdaterGlobalUnit.h"

// Record "%LLTCCNAAAAAAAA<data>": LL characters after the "%" (two-digit length), type T ("6"
// data, "8" end with the start address), checksum CC, address length N (always 8 digits here),
// a 32-bit address of 16-bit words, (LL - 14) / 2 data bytes. The checksum is the sum of the
// values of the record's characters after the "%", the checksum digits left out, modulo 256.
class TDSPFileParser : public TFirmwareFileParser {
public:
    TDSPFileParser();

    bool ParseLine(const QString& line, uint32_t& address, TFirmwareBytes& data,
                   int32_t& length) override;

    static constexpr int MinBlockLength = 14; // a record without data
};
