#include "firmware/AVRFirmwareParserUnit.h"

TAVRFileParser::TAVRFileParser() {
    FFileExt = QStringLiteral(".hex");
    FFirstLineChar = QLatin1Char(':');
    FExtAddress = 0;
}

bool TAVRFileParser::ParseLine(const QString& line, uint32_t& address, TFirmwareBytes& data,
                               int32_t& length) {
    if (line.isEmpty() || line[0] != FFirstLineChar)
        return false;
    const int count = HexByte(line, 2);
    const uint8_t addressHigh = HexByte(line, 4);
    const uint8_t addressLow = HexByte(line, 6);
    const uint8_t type = HexByte(line, 8);
    // The record's bytes, the checksum included, add up to 0 modulo 256. Reading the checksum
    // first also makes sure every data position lies inside the line.
    const uint8_t checksum = HexByte(line, 10 + 2 * count);
    unsigned sum = unsigned(count) + addressHigh + addressLow + type + checksum;
    TFirmwareBytes bytes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        bytes[static_cast<size_t>(i)] = HexByte(line, 10 + 2 * i);
        sum += bytes[static_cast<size_t>(i)];
    }
    if ((sum & 0xFF) != 0)
        throw EFirmwareFileError("record checksum");

    data.clear();
    address = 0;
    length = 0;
    // The kind of record is the type field's low digit.
    switch (type & 0x0F) {
    case 0: {
        // The offset counts within the 64 KiB window that the last extended address record
        // opened, and wraps around at its end: a record running past the end would put its last
        // bytes at the start of the window. No tool chain writes one; programming it as one run
        // would put those bytes at an address that is not theirs.
        const uint32_t offset = uint32_t(addressHigh) * 256 + addressLow;
        if (offset + uint32_t(count) > 0x10000)
            throw EFirmwareFileError("record runs past the end of its 64 KiB window");
        data = std::move(bytes);
        address = FExtAddress + offset;
        length = count;
        break;
    }
    case 2: // extended segment address: the window starts at segment x 16
        if (count < 2)
            throw EFirmwareFileError("short extended address record");
        FExtAddress = (uint32_t(bytes[0]) * 256 + bytes[1]) << 4;
        break;
    case 4: // extended linear address: the upper 16 bits
        if (count < 2)
            throw EFirmwareFileError("short extended address record");
        FExtAddress = (uint32_t(bytes[0]) * 256 + bytes[1]) << 16;
        break;
    case 1:
        FEndRecord = true;
        break;
    case 3:
    case 5:
        break;
    default:
        // Record kinds the boards' tool chains never write: the file is not one of theirs.
        throw EFirmwareFileError("unknown record type");
    }
    return true;
}
