#pragma once
// An open connection to the fake driver, installed as the global Connection.

#include "link/ConnectionUnit.h"
#include "support/FakeD2XX.h"

#include <QByteArray>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

struct OpenConnection {
    TFakeD2XX fake;
    TConnection conn;
    TConnection* previous = nullptr;

    explicit OpenConnection(const char* device = "QRX-7A one") {
        fake.SetDevices({"QRX-7A one", "TMVK v2 two"});
        QStringList names;
        conn.GetAvailableDevices(names);
        conn.SetDeviceID(QString::fromLatin1(device));
        EXPECT_TRUE(conn.Connect());
        fake.ClearRecord();
        previous = Connection;
        Connection = &conn;
    }
    ~OpenConnection() {
        Connection = previous;
        conn.Disconnect();
    }

    // The frames written so far, 12 bytes each.
    std::vector<QByteArray> Frames() const {
        const QByteArray w = fake.Written();
        std::vector<QByteArray> frames;
        for (qsizetype i = 0; i + 12 <= w.size(); i += 12)
            frames.push_back(w.mid(i, 12));
        return frames;
    }
};

inline uint8_t B(const QByteArray& frame, int i) {
    return static_cast<uint8_t>(frame.at(i));
}
