#include "app/LogUnit.h"

#include <QFile>
#include <QThread>

TLogFileStream* LogFile = nullptr;

namespace {

std::unique_ptr<QIODevice> OpenFileForWriting(const QString& fileName) {
    // Unbuffered: the log keeps its own buffer, so a flush reaches the system at once.
    auto file = std::make_unique<QFile>(fileName);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return nullptr;
    return file;
}

TLogDeviceOpener& DeviceOpener() {
    static TLogDeviceOpener opener;
    return opener;
}

} // namespace

void SetLogDeviceOpener(TLogDeviceOpener opener) {
    DeviceOpener() = std::move(opener);
}

std::unique_ptr<QIODevice> OpenLogDevice(const QString& fileName) {
    if (fileName.isEmpty())
        return nullptr;
    if (DeviceOpener())
        return DeviceOpener()(fileName);
    return OpenFileForWriting(fileName);
}

// --- TLogTextFile -------------------------------------------------------------------------------

TLogTextFile::TLogTextFile(int bufferSize) : FBufferSize(bufferSize > 0 ? bufferSize : 1) {
    FBuffer.reserve(FBufferSize);
}

TLogTextFile::~TLogTextFile() {
    Close();
}

bool TLogTextFile::Create(const QString& fileName) {
    return Attach(OpenLogDevice(fileName));
}

bool TLogTextFile::Attach(std::unique_ptr<QIODevice> device) {
    Close();
    if (!device || !device->isOpen() || !device->isWritable())
        return false;
    FDevice = std::move(device);
    return true;
}

bool TLogTextFile::WriteLine(const QString& line) {
    if (!FDevice)
        return false;
    FBuffer.append(line.toUtf8());
    FBuffer.append("\r\n", 2);
    if (FBuffer.size() >= FBufferSize)
        return WriteOut();
    return true;
}

bool TLogTextFile::Flush() {
    if (!FDevice)
        return false;
    return WriteOut();
}

bool TLogTextFile::Close() {
    if (!FDevice)
        return true;
    const bool written = WriteOut();
    if (FDevice) {
        FDevice->close();
        FDevice.reset();
    }
    return written;
}

bool TLogTextFile::WriteOut() {
    const char* data = FBuffer.constData();
    qint64 left = FBuffer.size();
    while (left > 0) {
        const qint64 n = FDevice->write(data, left);
        if (n <= 0) {
            Drop();
            return false;
        }
        data += n;
        left -= n;
    }
    FBuffer.clear();
    return true;
}

// After a failed write: what reached the device stays there, the rest of the buffer is gone.
void TLogTextFile::Drop() {
    FBuffer.clear();
    FDevice->close();
    FDevice.reset();
}

// --- TLogFileStream -----------------------------------------------------------------------------

const TSaveDialogRequest TLogFileStream::DialogRequest{
    QStringLiteral("Log File (*.txt)"), QStringLiteral("txt"), QStringLiteral("Log_")};

TLogFileStream::TLogFileStream(bool autoFlush) : FAutoFlush(autoFlush) {}

TLogFileStream::~TLogFileStream() {
    CloseLog();
}

void TLogFileStream::SaveLineToFile(const QString& line) {
    ++FFlushCounter;
    if (FLog && !FLog->WriteLine(line)) {
        WriteFailed();
        return;
    }
    const bool flushNow = FAutoFlush || FFlushCounter >= FFlushThreshold;
    if (!FAutoFlush && FFlushCounter >= FFlushThreshold)
        FFlushCounter = 0;
    if (flushNow && FLog && !FLog->Flush())
        WriteFailed();
}

bool TLogFileStream::SaveLog(bool enabled) {
    if (!enabled) {
        CloseLog();
        FSaveLogFile = false;
        return false;
    }
    const QString fileName = FFileNameProvider ? FFileNameProvider(DialogRequest) : QString();
    if (fileName.isEmpty()) {
        // Cancelled: no log is open afterwards.
        CloseLog();
        FSaveLogFile = false;
        return false;
    }
    FSaveLogFile = true;
    CloseLog();
    if (!OpenLog(fileName))
        FSaveLogFile = false;
    return FSaveLogFile;
}

bool TLogFileStream::OpenLog(const QString& fileName) {
    {
        // Create the file empty, replacing any file of that name, and close it again.
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.close();
    }
    QThread::msleep(ReopenDelayMs);
    auto log = std::make_unique<TLogTextFile>();
    if (!log->Create(fileName))
        return false;
    FLog = std::move(log);
    return true;
}

void TLogFileStream::CloseLog() {
    if (!FLog)
        return;
    FLog->Close();
    FLog.reset();
}

void TLogFileStream::WriteFailed() {
    FLog.reset(); // the failed file closed itself
    FSaveLogFile = false;
    if (FOnWriteFailed)
        FOnWriteFailed();
}
