#pragma once
// Firmware image files: one block of an image and the common part of the two file parsers.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <stdexcept>
#include <vector>

using TFirmwareBytes = std::vector<uint8_t>;

// One block of an image: the target address of its first byte (a byte address for colon files,
// a 16-bit word address for percent files) and its bytes in ascending address order. A block
// may be empty.
struct TFirmwareData {
    uint32_t address = 0;
    TFirmwareBytes Data;
};

using TFirmwareDataList = std::vector<TFirmwareData>;

// Raised by Init for a file that cannot be read or whose content is malformed: a short line, a
// non-hexadecimal digit, a wrong record checksum, an unknown record, no end record, data after
// the end record, or no data at all. The updater turns it into "File error!".
class EFirmwareFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads an image file into an ordered list of blocks. The subclass parses one line of its own
// format; this class checks the extension, reads the lines and joins consecutive records.
class TFirmwareFileParser {
public:
    TFirmwareFileParser() = default;
    virtual ~TFirmwareFileParser() = default;
    TFirmwareFileParser(const TFirmwareFileParser&) = delete;
    TFirmwareFileParser& operator=(const TFirmwareFileParser&) = delete;

    // The file name's extension ("hex1" and "hex2" read as "hex") against the mask, in which
    // "?" stands for any one character. Case-sensitive.
    bool CheckFileExt(const QString& path) const;
    // Reads the file and builds DataToSend. False for a wrong extension or a line that does not
    // begin with the format's lead character; EFirmwareFileError for an unreadable or
    // malformed file.
    bool Init(const QString& path);
    // The same from the file's bytes already in memory (the extension is not looked at): false
    // for a line without the lead character, EFirmwareFileError for a malformed image.
    bool InitFromContent(const QByteArray& content);
    // The sum over all blocks of (number of bytes - 1).
    int32_t GetDataCount() const;
    // The blocks of the last Init, in file order; valid until the next Init.
    const TFirmwareDataList& DataToSend() const { return FDataToSend; }
    // How many bytes one address step of the format covers: 1 for byte addresses, 2 for the
    // 16-bit words of the signal processors.
    int BytesPerAddress() const { return FBytesPerAddress; }

    // Files larger than this are refused as unreadable (the boards' images are far smaller).
    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

    // One line of the format: false when it does not begin with the lead character; otherwise
    // true with the record's address, bytes and length (in address units) set. Throws
    // EFirmwareFileError for a malformed record.
    virtual bool ParseLine(const QString& line, uint32_t& address, TFirmwareBytes& data,
                           int32_t& length) = 0;

protected:
    // Called by Init before the first line of every file (the colon parser clears its upper
    // address here).
    virtual void StartFile() {}

    // Helpers for the subclasses' line parsers. Positions count from 1, as in the record
    // layouts; reading a position past the end of the line throws.
    static int HexDigit(const QString& line, int position);
    static uint8_t HexByte(const QString& line, int position);

    QStringList FFile;
    TFirmwareDataList FDataToSend;
    QString FFileExt;
    QChar FFirstLineChar;
    int FBytesPerAddress = 1;
    // Set by ParseLine: whether the line just parsed is the format's end record.
    bool FEndRecord = false;

private:
    static QByteArray ReadFile(const QString& path);
    void SplitLines(const QByteArray& bytes);
};
