#include "firmware/DSPFirmwareParserUnit.h"

TDSPFileParser::TDSPFileParser() {
    FFileExt = QStringLiteral(".x0?");
    FFirstLineChar = QLatin1Char('%');
    FBytesPerAddress = 2;
}

bool TDSPFileParser::ParseLine(const QString& line, uint32_t& address, TFirmwareBytes& data,
                               int32_t& length) {
    if (line.isEmpty() || line[0] != FFirstLineChar)
        return false;
    const int blockLength = HexByte(line, 2);
    if (blockLength < MinBlockLength)
        throw EFirmwareFileError("block length below the fixed fields");
    // Every character of the record after the "%" is a hexadecimal digit and counts with its
    // value; positions 5 and 6 hold the checksum itself. This also makes sure the line holds
    // the whole record before any field is taken from it.
    unsigned sum = 0;
    for (int position = 2; position <= 1 + blockLength; ++position) {
        const int value = HexDigit(line, position);
        if (position != 5 && position != 6)
            sum += unsigned(value);
    }
    if ((sum & 0xFF) != HexByte(line, 5))
        throw EFirmwareFileError("record checksum");

    const int count = (blockLength - MinBlockLength) / 2;
    address = 0;
    for (int position = 8; position <= 15; ++position)
        address = address * 16 + uint32_t(HexDigit(line, position));
    length = count / 2; // the address counts 16-bit words
    data.clear();
    const QChar type = line[3];
    if (type == QLatin1Char('6')) {
        data.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            data[static_cast<size_t>(i)] = HexByte(line, 16 + 2 * i);
    } else if (type == QLatin1Char('8')) {
        FEndRecord = true;
    }
    return true;
}
