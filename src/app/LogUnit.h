#pragma once
// Measurement logs: text files written where the operator chooses, UTF-8 without byte-order
// mark, every line ended by CR LF.
//
// TLogTextFile is one such file with its write buffer; TLogFileStream is the shared log of the
// frequency-difference reports (global LogFile, owned by the application manager). A write that
// fails (disk full, drive gone) closes the file: what reached the disk stays there, the program
// goes on, and the owner is told so it can show that nothing is being logged any more.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>

// What a save dialog offers the operator.
struct TSaveDialogRequest {
    QString Filter;        // name filter, "Log File (*.txt)"; empty = no filter
    QString DefaultSuffix; // added when the operator types a name without one; empty = none
    QString ProposedName;  // the file name offered at first; empty = none
};

// Asks for a file name to save to; an empty result means the dialog was cancelled. The window
// layer supplies a file dialog; tests supply the name directly.
using TFileNameProvider = std::function<QString(const TSaveDialogRequest&)>;

// Opens the device a log writes to, for writing, replacing the file's content; nullptr when it
// cannot be opened. The default opens the named file; tests install devices that fail.
using TLogDeviceOpener = std::function<std::unique_ptr<QIODevice>(const QString& fileName)>;
void SetLogDeviceOpener(TLogDeviceOpener opener); // an empty opener restores the default
std::unique_ptr<QIODevice> OpenLogDevice(const QString& fileName);

// One text log file. Lines are collected in a buffer and written out when the buffer is full,
// on Flush and at Close.
class TLogTextFile {
public:
    static constexpr int DefaultBufferSize = 4096;

    explicit TLogTextFile(int bufferSize = DefaultBufferSize);
    ~TLogTextFile(); // closes the file (flushing what is buffered)
    TLogTextFile(const TLogTextFile&) = delete;
    TLogTextFile& operator=(const TLogTextFile&) = delete;

    // Creates the file, replacing any file of that name, and keeps it open for writing.
    bool Create(const QString& fileName);
    // Writes to an already open device from now on (the file owns it).
    bool Attach(std::unique_ptr<QIODevice> device);
    bool IsOpen() const { return FDevice != nullptr; }

    // Appends line + CR LF. False when a write failed; the file is closed then.
    bool WriteLine(const QString& line);
    // Writes out the buffer. False when the write failed; the file is closed then.
    bool Flush();
    // Writes out the buffer and closes the file; false when the last write failed.
    bool Close();

private:
    bool WriteOut();
    void Drop();

    std::unique_ptr<QIODevice> FDevice;
    QByteArray FBuffer;
    int FBufferSize;
};

// The log of the frequency-difference reports: opened through a save dialog, one line per
// report, flushed after every line with automatic flushing, otherwise every FFlushThreshold
// lines.
class TLogFileStream {
public:
    // The dialog of SaveLog: filter "Log File (*.txt)", default extension "txt", name "Log_".
    static const TSaveDialogRequest DialogRequest;
    // The pause between creating the empty file and opening it for writing.
    static constexpr int ReopenDelayMs = 100;

    explicit TLogFileStream(bool autoFlush);
    ~TLogFileStream(); // closes the log
    TLogFileStream(const TLogFileStream&) = delete;
    TLogFileStream& operator=(const TLogFileStream&) = delete;

    // Writes one line while a log is open; nothing otherwise.
    void SaveLineToFile(const QString& line);
    // enabled: asks for a file and opens it, result true when a log is now open. Not enabled:
    // closes the log, result false.
    bool SaveLog(bool enabled);
    bool IsOpen() const { return FLog != nullptr; }

    void SetFileNameProvider(TFileNameProvider provider) {
        FFileNameProvider = std::move(provider);
    }
    // Called after a failed write has closed the log (not when the operator closes it).
    void SetOnWriteFailed(std::function<void()> handler) { FOnWriteFailed = std::move(handler); }

    const bool FAutoFlush;
    const int FFlushThreshold = 20;
    int FFlushCounter = 0;
    bool FSaveLogFile = false;

private:
    void CloseLog();
    bool OpenLog(const QString& fileName);
    void WriteFailed();

    std::unique_ptr<TLogTextFile> FLog;
    TFileNameProvider FFileNameProvider;
    std::function<void()> FOnWriteFailed;
};

// The one frequency-difference log of the run, created and freed by the application manager.
extern TLogFileStream* LogFile;
