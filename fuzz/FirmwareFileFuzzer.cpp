// Any file content through both image parsers: no crash, no read outside a line, and either a
// clean refusal or blocks that agree with their own count.
#include "firmware/AVRFirmwareParserUnit.h"
#include "firmware/DSPFirmwareParserUnit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

// The parsers read files; each input is written to the same two files of one folder.
struct TFolder {
    QTemporaryDir dir;
    QString colon = dir.filePath(QStringLiteral("image.hex1"));
    QString percent = dir.filePath(QStringLiteral("image.x0A"));
};

void Write(const QString& path, const uint8_t* data, size_t size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    f.write(reinterpret_cast<const char*>(data), qint64(size));
}

void Check(TFirmwareFileParser& parser, const QString& path, size_t size) {
    try {
        if (!parser.Init(path))
            return;
    } catch (const EFirmwareFileError&) {
        return;
    }
    // An accepted image holds at most one byte per two characters of the file, every block's
    // count agrees with GetDataCount, and at least one byte is there.
    int64_t bytes = 0;
    int64_t count = 0;
    for (const TFirmwareData& block : parser.DataToSend()) {
        bytes += int64_t(block.Data.size());
        count += int64_t(block.Data.size()) - 1;
    }
    if (bytes == 0 || bytes > int64_t(size / 2) || count != parser.GetDataCount())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFolder folder;
    static TAVRFileParser avr;
    static TDSPFileParser dsp;
    Write(folder.colon, data, size);
    Write(folder.percent, data, size);
    Check(avr, folder.colon, size);
    Check(dsp, folder.percent, size);
    return 0;
}
