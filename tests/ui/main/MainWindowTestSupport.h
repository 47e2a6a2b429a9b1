#pragma once
// A main window on the scripted fake driver, with its controls found by name and the frames it
// wrote read back from the wire.

#include "app/GlobalUnit.h"
#include "laser/LaserDeviceUnit.h"
#include "link/ConnectionUnit.h"
#include "support/FakeD2XX.h"
#include "ui/main/MainUnit.h"

#include <QComboBox>
#include <QLabel>
#include <QLocale>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

// One command frame as written: target, code and the four data words.
struct TWireFrame {
    int Target;
    int Code;
    int W0 = 0, W1 = 0, W2 = 0, W3 = 0;
    bool operator==(const TWireFrame&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const TWireFrame& f) {
    return os << "{target " << f.Target << ", code " << f.Code << ", " << f.W0 << ", " << f.W1
              << ", " << f.W2 << ", " << f.W3 << "}";
}

struct MainWindowTest : ::testing::Test {
    TFakeD2XX fake;
    std::unique_ptr<TMainForm> form;
    std::vector<QUrl> opened;

    static void SetUpTestSuite() {
        // Many windows run in this one process: every start is the only one.
        TApplicationManager::SetInstanceCheck([] { return true; });
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void SetUp() override {
        TMainForm::SetUrlOpener([this](const QUrl& url) { opened.push_back(url); });
    }

    void TearDown() override { form.reset(); }

    void Create(std::vector<std::string> devices) {
        fake.SetDevices(std::move(devices));
        form = std::make_unique<TMainForm>();
    }

    template <class T> T* Find(const char* name) const {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Connects the device in row 0 from the main page, as the operator does.
    void ConnectFirstDevice();

    // Every complete frame written since the last ClearWire.
    std::vector<TWireFrame> Wire() const;
    void ClearWire() { fake.ClearRecord(); }
};
