#pragma once
// Helpers of the log tests: a device that stops accepting writes, and file reading.

#include "app/LogUnit.h"

#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// Writes to a real file until its budget of bytes is spent; every later write fails, as on a
// full disk or a drive that went away.
class TFailingDevice : public QIODevice {
public:
    TFailingDevice(const QString& fileName, qint64 budget) : FFile(fileName), FBudget(budget) {}
    bool open(OpenMode mode) override {
        if (!FFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            return false;
        return QIODevice::open(mode);
    }
    void close() override {
        if (OnClose)
            OnClose();
        FFile.close();
        QIODevice::close();
    }
    std::function<void()> OnClose;
    int FailedWrites = 0;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        if (len > FBudget) {
            ++FailedWrites;
            return -1;
        }
        FBudget -= len;
        return FFile.write(data, len);
    }

private:
    QFile FFile;
    qint64 FBudget;
};

// Installs an opener that hands out failing devices for the lifetime of the object.
class TFailingOpener {
public:
    explicit TFailingOpener(qint64 budget) {
        SetLogDeviceOpener([this, budget](const QString& name) -> std::unique_ptr<QIODevice> {
            auto device = std::make_unique<TFailingDevice>(name, budget);
            if (!device->open(QIODevice::WriteOnly))
                return nullptr;
            Last = device.get();
            ++Opened;
            return device;
        });
    }
    ~TFailingOpener() { SetLogDeviceOpener({}); }
    TFailingDevice* Last = nullptr; // valid while the log holds it
    int Opened = 0;
};

inline QByteArray ReadAll(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}
