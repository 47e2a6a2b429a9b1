#pragma once
// Writing small image files for the tests: colon and percent records with correct checksums,
// in a temporary folder that goes away with the object.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

namespace fwtest {

using Bytes = std::vector<uint8_t>;

inline QByteArray Hex2(unsigned v) {
    return QByteArray::number(v & 0xFF, 16).toUpper().rightJustified(2, '0');
}

// ":LLAAAATT<data>CC" with the two's-complement checksum.
inline QByteArray Colon(unsigned type, unsigned offset, const Bytes& data) {
    unsigned sum = unsigned(data.size()) + (offset >> 8) + (offset & 0xFF) + type;
    QByteArray line =
        ":" + Hex2(unsigned(data.size())) + Hex2(offset >> 8) + Hex2(offset) + Hex2(type);
    for (uint8_t b : data) {
        line += Hex2(b);
        sum += b;
    }
    return line + Hex2(0x100 - (sum & 0xFF));
}
inline QByteArray ColonData(unsigned offset, const Bytes& data) {
    return Colon(0, offset, data);
}
inline QByteArray ColonExt(unsigned upper) {
    return Colon(4, 0, {uint8_t(upper >> 8), uint8_t(upper)});
}
inline QByteArray ColonEnd() {
    return ":00000001FF";
}

// "%LLTCC8AAAAAAAA<data>": every character after "%" but the checksum counts with its value.
inline QByteArray Percent(char type, uint32_t address, const Bytes& data) {
    const QByteArray body = QByteArray(1, type) + "??8" +
                            QByteArray::number(address, 16).toUpper().rightJustified(8, '0');
    QByteArray digits = body;
    for (uint8_t b : data)
        digits += Hex2(b);
    QByteArray line = "%" + Hex2(unsigned(digits.size()) + 2) + digits;
    unsigned sum = 0;
    for (qsizetype i = 1; i < line.size(); ++i)
        if (i != 4 && i != 5)
            sum += unsigned(QByteArray(1, line[i]).toUInt(nullptr, 16));
    line.replace(4, 2, Hex2(sum));
    return line;
}
inline QByteArray PercentData(uint32_t address, const Bytes& data) {
    return Percent('6', address, data);
}
inline QByteArray PercentEnd(uint32_t start = 0) {
    return Percent('8', start, {});
}

inline Bytes Range(unsigned count, unsigned first = 0) {
    Bytes b(count);
    for (unsigned i = 0; i < count; ++i)
        b[i] = uint8_t(first + i);
    return b;
}

class TImageFolder {
public:
    // Writes the lines, each ending with the given line break, and returns the file's path.
    QString Write(const QString& name, const std::vector<QByteArray>& lines,
                  const QByteArray& lineBreak = "\r\n") {
        QByteArray content;
        for (const QByteArray& l : lines)
            content += l + lineBreak;
        return WriteRaw(name, content);
    }
    QString WriteRaw(const QString& name, const QByteArray& content) {
        const QString path = FDir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return path;
    }
    QString Path(const QString& name) const { return FDir.filePath(name); }

private:
    QTemporaryDir FDir;
};

} // namespace fwtest
