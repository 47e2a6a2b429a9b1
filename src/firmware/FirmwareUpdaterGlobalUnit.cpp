#include "firmware/FirmwareUpdaterGlobalUnit.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

bool TFirmwareFileParser::CheckFileExt(const QString& path) const {
    // The extension of the name (after the last directory separator): from its last dot on.
    const qsizetype nameStart =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    QString ext = dot >= nameStart ? path.mid(dot) : QString();
    ext.replace(QStringLiteral("hex1"), QStringLiteral("hex"), Qt::CaseSensitive);
    ext.replace(QStringLiteral("hex2"), QStringLiteral("hex"), Qt::CaseSensitive);
    if (ext.size() != FFileExt.size())
        return false;
    for (qsizetype i = 0; i < ext.size(); ++i) {
        if (FFileExt[i] != QLatin1Char('?') && FFileExt[i] != ext[i])
            return false;
    }
    return true;
}

QByteArray TFirmwareFileParser::ReadFile(const QString& path) {
    const QFileInfo info(path); // follows a link to its target
    if (!info.exists() || !info.isFile())
        throw EFirmwareFileError("not a file");
    if (info.size() > MaxFileSize)
        throw EFirmwareFileError("file too large");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        throw EFirmwareFileError("cannot open");
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || bytes.size() > MaxFileSize)
        throw EFirmwareFileError("cannot read");
    return bytes;
}

void TFirmwareFileParser::SplitLines(const QByteArray& bytes) {
    FFile.clear();
    // Lines end with CR LF, LF or CR; a break after the last line adds no empty line.
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        FFile.append(QString::fromLatin1(bytes.constData() + pos, end - pos));
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() &&
            bytes[end + 1] == '\n')
            ++end;
        pos = end + 1;
    }
}

bool TFirmwareFileParser::Init(const QString& path) {
    if (!CheckFileExt(path))
        return false;
    FFile.clear();
    return InitFromContent(ReadFile(path));
}

bool TFirmwareFileParser::InitFromContent(const QByteArray& content) {
    if (content.size() > MaxFileSize)
        throw EFirmwareFileError("file too large");
    SplitLines(content);
    FDataToSend.clear();
    StartFile();

    int64_t prevAddress = -1; // none yet
    int32_t prevLength = 0;
    bool endRecordSeen = false;
    TFirmwareData current;
    for (const QString& line : std::as_const(FFile)) {
        uint32_t address = 0;
        TFirmwareBytes data;
        int32_t length = 0;
        FEndRecord = false;
        if (!ParseLine(line, address, data, length))
            return false;
        if (prevAddress < 0) {
            current.address = address;
            prevAddress = address;
        }
        // An end record always completes the bytes gathered so far, also when its address
        // happens to continue them; otherwise they would be lost.
        const bool continues =
            int64_t(address) - prevLength == prevAddress && !(FEndRecord && !current.Data.empty());
        if (continues) {
            current.Data.insert(current.Data.end(), data.begin(), data.end());
        } else {
            FDataToSend.push_back(std::move(current));
            current = TFirmwareData{address, std::move(data)};
        }
        prevAddress = address;
        prevLength = length;
        endRecordSeen = endRecordSeen || FEndRecord;
    }
    // The block being gathered now is not part of the image. Bytes in it (a file without an end
    // record, or data after it) would be lost without notice: the file is bad.
    if (!endRecordSeen)
        throw EFirmwareFileError("no end record");
    if (!current.Data.empty())
        throw EFirmwareFileError("data after the end record");
    // An image without a single byte would only erase the board and report success.
    if (std::none_of(FDataToSend.begin(), FDataToSend.end(),
                     [](const TFirmwareData& block) { return !block.Data.empty(); }))
        throw EFirmwareFileError("no data");
    return true;
}

int32_t TFirmwareFileParser::GetDataCount() const {
    int64_t count = 0;
    for (const TFirmwareData& block : FDataToSend)
        count += int64_t(block.Data.size()) - 1;
    return static_cast<int32_t>(count);
}

int TFirmwareFileParser::HexDigit(const QString& line, int position) {
    if (position < 1 || position > line.size())
        throw EFirmwareFileError("line too short");
    const char16_t c = line[position - 1].unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    throw EFirmwareFileError("not a hexadecimal digit");
}

uint8_t TFirmwareFileParser::HexByte(const QString& line, int position) {
    return static_cast<uint8_t>(HexDigit(line, position) * 16 + HexDigit(line, position + 1));
}
