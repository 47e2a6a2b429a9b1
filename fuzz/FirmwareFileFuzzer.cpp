// Any image content through both image parsers, in memory: no crash, no read outside a line,
// and either a clean refusal or blocks that agree with their own count.
#include "firmware/AVRFirmwareParserUnit.h"
#include "firmware/DSPFirmwareParserUnit.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

namespace {

void Check(TFirmwareFileParser& parser, const QByteArray& content) {
    try {
        if (!parser.InitFromContent(content))
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
    if (bytes == 0 || bytes > int64_t(content.size() / 2) || count != parser.GetDataCount())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One pair of parsers for the whole run, as the updater keeps its own: every Init starts
    // from what the previous one left.
    static TAVRFileParser avr;
    static TDSPFileParser dsp;
    const QByteArray content =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    Check(avr, content);
    Check(dsp, content);
    return 0;
}
