// Link health in the operator window, on the scripted fake driver: the live status model and
// the event record fed from the reports, a lost adapter shown at once and reconnected by itself
// without a tuning command, a silent laser, the event list and its file.
#include "MainWindowTestSupport.h"
#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "protocol/ReadFrameUnit.h"
#include "protocol/SendFrameUnit.h"
#include "ui/controls/ALProgressBar.h"
#include "ui/controls/RealSpinEdit.h"
#include "ui/main/ChartFeedersUnit.h"
#include "ui/main/LinkEventsViewUnit.h"
#include "ui/main/SaveDialogUnit.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGraphicsEffect>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <QToolButton>

#include <functional>

#ifdef __linux__
#include "../../link/PtySupport.h"
#include "link/SerialPortUnit.h"

#include <sys/file.h>
#include <sys/stat.h>
#endif

namespace {

const std::vector<TWireFrame> ConnectRequests{
    {1, 93}, {1, 71}, {1, 75}, {1, 80}, {1, 69}, {4, 159}, {2, 221},
};

// A frame of board `sender` for the PC with the four data words.
QByteArray BoardFrame(int sender, uint8_t code, uint16_t w0, uint16_t w1 = 0, uint16_t w2 = 0) {
    const TFrame f = BuildParamsFrame(0, code, w0, w1, w2);
    QByteArray bytes(reinterpret_cast<const char*>(f.data()), FrameSize);
    bytes[10] = char((sender << 4) | 0x0F);
    bytes[11] = char(FrameChecksum(reinterpret_cast<const uint8_t*>(bytes.constData())));
    return bytes;
}
QByteArray StatusFrame(uint16_t state) {
    return BoardFrame(1, 3, 0, state);
}

bool IsTuningCommand(const TWireFrame& f) {
    return f.Target == 1 && (f.Code == 32 || f.Code == 33 || f.Code == 34 || f.Code == 35);
}

struct LinkHealthTest : MainWindowTest {
    QLabel* Label(const char* name) { return Find<QLabel>(name); }
    bool WaitLost() {
        return QTest::qWaitFor([&] { return form->LinkLost() && !ILFrameReader; }, 5000);
    }
    // The link and lock events (the operator's actions are looked at on their own).
    std::vector<TLinkEventKind> Kinds() const {
        std::vector<TLinkEventKind> kinds;
        for (const TLinkEvent& e : LinkEvents->Events())
            if (e.Kind != TLinkEventKind::_operator_action)
                kinds.push_back(e.Kind);
        return kinds;
    }
    // The one device connected, its iodine laser running, every peak expected.
    void ConnectRunning() {
        Create({"QRX-7A one"});
        ConnectFirstDevice();
        form->IodineLaserRunning = true;
        form->ExpectedPeaks(0x3FFF);
    }
    // Runs the looking for the lost device once (the recovery timer's tick).
    void Look() { form->RecoveryTimerTimer(); }
    // Waits for a condition while the window serves nothing (never for a time as such).
    static bool WaitUnserved(const std::function<bool()>& done) {
        for (int i = 0; i < 20000 && !done(); ++i)
            QThread::msleep(1);
        return done();
    }
};

#ifdef __linux__
// The window on the kernel's USB-serial driver: ports of real pseudo-terminals listed through a
// sysfs tree in a temporary folder.
struct KernelLinkHealth : LinkHealthTest {
    TFakeSysfs Sysfs;
    std::unique_ptr<TSerialPortD2XXTable> Kernel;
    void SetUp() override {
        LinkHealthTest::SetUp();
        Kernel = std::make_unique<TSerialPortD2XXTable>(Sysfs.SysRoot(), Sysfs.DevRoot());
        D2XX::SetTable(Kernel.get());
    }
    void TearDown() override {
        form.reset();
        D2XX::SetTable(nullptr);
    }
    QStringList Listed() const {
        QStringList names;
        for (const TDeviceID& d : Connection->DevicesList())
            names << d.fullName();
        return names;
    }
};

// Lists and opens as an ordinary user, to whom the port is closed, while it lives (the tests
// may run as root, who opens anything).
class TNotPermitted {
public:
    TNotPermitted(const QString& folder, const QString& port) : FPort(QFile::encodeName(port)) {
        struct stat st {};
        ::stat(FPort.constData(), &st);
        FMode = st.st_mode & 07777;
        if (::geteuid() != 0) {
            ::chmod(FPort.constData(), 0);
            return;
        }
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        ::chmod(FPort.constData(), 0600);
        FSwitched = ::setresgid(65534, 65534, 0) == 0 && ::setresuid(65534, 65534, 0) == 0;
    }
    ~TNotPermitted() {
        if (FSwitched) {
            [[maybe_unused]] const int u = ::setresuid(0, 0, 0);
            [[maybe_unused]] const int g = ::setresgid(0, 0, 0);
        }
        ::chmod(FPort.constData(), FMode);
    }

private:
    QByteArray FPort;
    mode_t FMode = 0600;
    bool FSwitched = false;
};
#endif

} // namespace

TEST_F(LinkHealthTest, ModelsLiveAndDieWithTheApplicationManager) {
    EXPECT_EQ(LinkEvents, nullptr);
    EXPECT_EQ(StatusModel, nullptr);
    Create({});
    EXPECT_NE(LinkEvents, nullptr);
    EXPECT_NE(StatusModel, nullptr);
    EXPECT_EQ(StatusModel->Snapshot().Link, TLinkState::_disconnected);
    form.reset();
    EXPECT_EQ(LinkEvents, nullptr);
    EXPECT_EQ(StatusModel, nullptr);
}

TEST_F(LinkHealthTest, TheReportsFeedTheStatusModelAndTheEvents) {
    Create({"QRX-7A one"});
    std::vector<TStatusSnapshot> changes;
    QObject::connect(StatusModel, &TStatusModel::Changed,
                     [&](const TStatusSnapshot& s) { changes.push_back(s); });
    std::vector<std::pair<double, double>> reports;
    QObject::connect(StatusModel, &TStatusModel::FrequencyReported,
                     [&](const QDateTime& utc, double hz, double power) {
                         EXPECT_EQ(utc.timeSpec(), Qt::UTC);
                         reports.emplace_back(hz, power);
                     });
    ConnectFirstDevice();
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back().Link, TLinkState::_connected);
    EXPECT_EQ(changes.back().DeviceDescription, QStringLiteral("QRX-7A one"));
    EXPECT_EQ(changes.back().DeviceKind, 111111);

    form->IodineLaserRunning = true;
    // 150 MHz at power 2500 (code 166), CFT 25.3 (code 8), then locked at f and lost.
    fake.QueueRx(BoardFrame(3, 166, 0xD180, 0x08F0, 2500) + BoardFrame(1, 8, 253) +
                 BoardFrame(1, 6, 1, 0) + StatusFrame(3) + StatusFrame(3) + StatusFrame(4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return LinkEvents->LockLossCount() == 1; }, 5000));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, 150000000.0);
    EXPECT_EQ(reports[0].second, 2500.0);
    const TStatusSnapshot& s = StatusModel->Snapshot();
    EXPECT_DOUBLE_EQ(s.CFT, 25.3);
    EXPECT_EQ(s.TuningStatus, 4);
    EXPECT_EQ(s.TuningText, QStringLiteral("unlocked"));
    EXPECT_TRUE(s.LockedPeak.isNull());
    EXPECT_EQ(Kinds(), (std::vector<TLinkEventKind>{TLinkEventKind::_lock_reached,
                                                    TLinkEventKind::_lock_lost}));
    // The main page shows them newest first with the count.
    auto* list = Find<QListWidget>("LinkEventsListBox");
    ASSERT_EQ(list->count(), 3); // and the operator's connect
    EXPECT_TRUE(list->item(0)->text().endsWith(QStringLiteral("Z lock lost (unlocked)")));
    EXPECT_EQ(Label("LockLossCountLabel")->text(), QStringLiteral("Lock losses since start: 1"));
    EXPECT_TRUE(
        Label("LatestEventLabel")->text().startsWith(QStringLiteral("Lock losses since start: 1")));
    EXPECT_TRUE(
        Label("LatestEventLabel")->toolTip().endsWith(QStringLiteral("lock lost (unlocked)")));

    Find<QPushButton>("DisconnectButton")->click();
    EXPECT_EQ(StatusModel->Snapshot().Link, TLinkState::_disconnected);
}

TEST_F(LinkHealthTest, ALostAdapterIsShownAtOnceAndNothingStaysLive) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    form->IodineLaserRunning = true;
    fake.QueueRx(BoardFrame(1, 8, 253) + StatusFrame(3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Label("CFTValueLabel")->text() == "25.3"; }, 5000));
    fake.Unplug();
    ASSERT_TRUE(WaitLost());
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("Connection error"));
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(fake.OpenHandles(), 0); // the stale handle is released
    EXPECT_EQ(Label("SimpleStatusPanel")->text(),
              QStringLiteral("link lost - looking for the device"));
    EXPECT_EQ(TMainForm::PanelColor(Label("SimpleStatusPanel")), QColor(0xA0, 0xA0, 0xA4));
    EXPECT_EQ(Label("SimpleStatusHeNePanel")->text(), QStringLiteral("link lost"));
    EXPECT_FALSE(form->BlinkTimer->isActive());
    for (const char* value : {"CFTValueLabel", "LifetimeLabel", "FreqDifferenceValueLabel",
                              "SignalPWRLabel", "PeakLabel"})
        EXPECT_EQ(Label(value)->text(), QStringLiteral("--")) << value;
    for (const char* group : {"CFTGroupBox", "LifetimeGroupBox", "FreqInfoGroupBox",
                              "FreqDifference1GroupBox", "FreqDifference2GroupBox",
                              "TuningMirrorALProgressBar", "StabilizationMirrorALProgressBar"})
        EXPECT_FALSE(Find<QWidget>(group)->isEnabled()) << group;
    EXPECT_FALSE(Find<QPushButton>("StartButton")->isEnabled());
    auto* mirror = Find<TALProgressBar>("TuningMirrorALProgressBar");
    EXPECT_FALSE(mirror->ShowPosText());
    EXPECT_EQ(mirror->Position(), 0);
    EXPECT_EQ(StatusModel->Snapshot().Link, TLinkState::_lost);
    EXPECT_EQ(Kinds().back(), TLinkEventKind::_link_lost);
    EXPECT_TRUE(form->RecoveryTimer->isActive());
    EXPECT_EQ(form->RecoveryTimer->interval(), 1000);
    // The watchdog of the simple page leaves the looking to the recovery.
    ClearWire();
    form->ConnectionTimerTimer();
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 0);
}

TEST_F(LinkHealthTest, TheSameDeviceBackIsReconnectedWithoutATuningCommand) {
    Create({"QRX-7A one"});
    form->show();
    ConnectFirstDevice();
    form->IodineLaserRunning = true;
    fake.QueueRx(StatusFrame(3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Kinds().size() == 1; }, 5000));
    fake.Unplug();
    ASSERT_TRUE(WaitLost());
    Look(); // not back yet
    EXPECT_TRUE(form->LinkLost());
    ClearWire();
    fake.Plug();
    Look();
    ASSERT_FALSE(form->LinkLost());
    EXPECT_TRUE(Connection->Connected());
    EXPECT_NE(ILFrameReader, nullptr);
    EXPECT_FALSE(form->RecoveryTimer->isActive());
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("Connected"));
    // The normal connect requests, and no tuning command, even after the watchdog's period.
    QTest::qWait(1300);
    const std::vector<TWireFrame> wire = Wire();
    ASSERT_GE(wire.size(), ConnectRequests.size());
    EXPECT_EQ(std::vector<TWireFrame>(wire.begin(), wire.begin() + 7), ConnectRequests);
    for (const TWireFrame& f : wire)
        EXPECT_FALSE(IsTuningCommand(f)) << f;
    EXPECT_EQ(fake.OpenHandles(), 1);
    EXPECT_EQ(fake.MostOpenHandles(), 1);
    // Still locked after the return: no lock event, the link restored.
    fake.QueueRx(StatusFrame(3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return StatusModel->Snapshot().TuningStatus == 3; }, 5000));
    EXPECT_EQ(Kinds(), (std::vector<TLinkEventKind>{TLinkEventKind::_lock_reached,
                                                    TLinkEventKind::_link_lost,
                                                    TLinkEventKind::_link_restored}));
    EXPECT_EQ(LinkEvents->LockLossCount(), 0);
    EXPECT_TRUE(Find<QWidget>("CFTGroupBox")->isEnabled());
    EXPECT_TRUE(Find<TALProgressBar>("TuningMirrorALProgressBar")->ShowPosText());
    EXPECT_EQ(StatusModel->Snapshot().Link, TLinkState::_connected);
}

TEST_F(LinkHealthTest, AnotherKindIsLeftToTheOperator) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    fake.Unplug();
    ASSERT_TRUE(WaitLost());
    fake.SetDevices({"TMVK v2 one"});
    Look();
    EXPECT_TRUE(form->LinkLost());
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 1);
    // The operator's Disconnect ends the looking.
    Find<QPushButton>("DisconnectButton")->click();
    EXPECT_FALSE(form->LinkLost());
    EXPECT_FALSE(form->RecoveryTimer->isActive());
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("Disconnected"));
    fake.SetDevices({"QRX-7A one"});
    Look();
    EXPECT_FALSE(Connection->Connected());
}

TEST_F(LinkHealthTest, HundredUnplugsInARowLeaveOneHandleAndOneThreadAtMost) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    for (int i = 0; i < 100; ++i) {
        fake.Unplug();
        ASSERT_TRUE(WaitLost()) << i;
        fake.Plug();
        Look();
        ASSERT_TRUE(Connection->Connected()) << i;
        ASSERT_NE(ILFrameReader, nullptr);
    }
    EXPECT_EQ(fake.MostOpenHandles(), 1);
    EXPECT_EQ(fake.Opens(), 101);
    EXPECT_EQ(fake.Closes(), 100);
    EXPECT_EQ(Kinds().size(), 200u);
    for (const TWireFrame& f : Wire())
        EXPECT_FALSE(IsTuningCommand(f)) << f;
    form.reset();
    EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(LinkHealthTest, UnplugWhileASynchronisedCallWaitsEndsCleanly) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    // Status reports are synchronised: the receive thread waits for the GUI thread in them.
    QByteArray many;
    for (int i = 0; i < 200; ++i)
        many += StatusFrame(static_cast<uint16_t>(i % 14));
    fake.QueueRx(many);
    // Read, and the first call waits for the window, which serves nothing until the unplug.
    ASSERT_TRUE(WaitUnserved([&] { return fake.RxQueued() == 0; }));
    fake.Unplug();
    ASSERT_TRUE(WaitLost());
    EXPECT_EQ(fake.OpenHandles(), 0);
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("Connection error"));
}

TEST_F(LinkHealthTest, NoReconnectWhileAFirmwareRunIsUnderWay) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    UpdatingDeviceId.store(2); // a board is being programmed through the link
    fake.Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->LinkLost(); }, 5000));
    // The run goes on through its own errors: the thread and the link are left as they are.
    EXPECT_NE(ILFrameReader, nullptr);
    EXPECT_TRUE(Connection->Connected());
    fake.Plug();
    Look();
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 1);
    // The run has ended: the loss is handled, then the device reconnected.
    UpdatingDeviceId.store(0);
    Look();
    EXPECT_EQ(ILFrameReader, nullptr);
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("Connection error"));
    Look();
    EXPECT_TRUE(Connection->Connected());
    EXPECT_FALSE(form->LinkLost());
}

TEST_F(LinkHealthTest, ASilentLaserIsSaidSoAndClearedWhenFramesReturn) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    EXPECT_TRUE(form->SilenceTimer->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->LaserSilent(); }, 3000 + 10000));
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("no data from the laser"));
    EXPECT_EQ(Label("SimpleStatusPanel")->text(), QStringLiteral("no data from the laser"));
    EXPECT_TRUE(Connection->Connected()); // not a disconnect
    EXPECT_EQ(StatusModel->Snapshot().Link, TLinkState::_silent);
    form->IodineLaserRunning = true;
    fake.QueueRx(StatusFrame(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->LaserSilent(); }, 5000));
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("wait for user"));
    EXPECT_EQ(Kinds(), (std::vector<TLinkEventKind>{TLinkEventKind::_data_silent,
                                                    TLinkEventKind::_data_back}));
    EXPECT_EQ(StatusModel->Snapshot().Link, TLinkState::_connected);
}

TEST_F(LinkHealthTest, AReadHangingForItsTimeoutLeavesTheWindowResponsive) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    fake.HoldReads();
    const auto atEnd = qScopeGuard([&] { fake.ReleaseReads(); }); // however the test ends
    fake.QueueRx(StatusFrame(0)); // the next read hangs until it is let go
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.HeldReads() == 1; }, 10000));
    // The event loop keeps turning while the read hangs: a timer ticks again and again.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 20; }, 60000)) << ticks;
    EXPECT_EQ(fake.HeldReads(), 1); // all of it inside the one read
    // Disconnect waits for the read, serving calls meanwhile: the read ends inside that wait.
    QMetaObject::invokeMethod(
        form.get(), [&] { fake.ReleaseReads(); }, Qt::QueuedConnection);
    Find<QPushButton>("DisconnectButton")->click();
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(ILFrameReader, nullptr);
}

TEST_F(LinkHealthTest, ALibraryFailingEveryCallIsALostLinkAndTheLookingGoesOn) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    for (const char* call : {"FT_GetQueueStatus", "FT_Read", "FT_Write", "FT_Close",
                             "FT_CreateDeviceInfoList", "FT_OpenEx"})
        fake.Fail(call);
    ASSERT_TRUE(WaitLost());
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("Connection error"));
    Look();
    Look();
    EXPECT_TRUE(form->LinkLost());
    for (const char* call : {"FT_GetQueueStatus", "FT_Read", "FT_Write", "FT_Close",
                             "FT_CreateDeviceInfoList", "FT_OpenEx"})
        fake.Heal(call);
    Look();
    EXPECT_FALSE(form->LinkLost());
    EXPECT_TRUE(Connection->Connected());
    EXPECT_LE(fake.OpenHandles(), 1); // the refused close is made good by the next open
    EXPECT_EQ(fake.MostOpenHandles(), 1);
}

TEST_F(LinkHealthTest, TheEventsAreSavedOnePerLineTimeFirst) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("events.txt"));
    std::vector<TSaveDialogRequest> asked;
    SetSaveDialogOverride([&](const TSaveDialogRequest& r) {
        asked.push_back(r);
        return name;
    });
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    fake.Unplug();
    ASSERT_TRUE(WaitLost());
    fake.Plug();
    Look();
    Find<QPushButton>("SaveEventsButton")->click();
    SetSaveDialogOverride({});
    ASSERT_EQ(asked.size(), 1u);
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3); // the operator's connect, the loss, the return
    const QRegularExpression line(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z (operator: connect "
                       "QRX-7A one|link (lost|restored) \\(QRX-7A one\\))$"));
    for (const QString& l : lines)
        EXPECT_TRUE(line.match(l).hasMatch()) << l.toStdString();
    EXPECT_EQ(Label("SaveEventsResultLabel")->text(), QStringLiteral("Saved"));
    // Cancelled: nothing written.
    SetSaveDialogOverride([](const TSaveDialogRequest&) { return QString(); });
    file.close(); // Windows removes no open file
    QFile::remove(name);
    Find<QPushButton>("SaveEventsButton")->click();
    SetSaveDialogOverride({});
    EXPECT_FALSE(QFile::exists(name));
}

TEST_F(LinkHealthTest, AnUnplugWhileTheErrorSignalIsLoggedKeepsTheLogAndItGoesOnAfterTheReturn) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("error.txt"));
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    form->Charts()->SetFileNameProvider([&](const TSaveDialogRequest&) { return name; });
    auto* box = Find<QCheckBox>("ErrorSignalLogCheckBox");
    box->setChecked(true);
    ASSERT_TRUE(box->isChecked());
    QByteArray samples;
    for (uint16_t raw = 0; raw < 300; ++raw)
        samples += BoardFrame(1, 1, raw);
    fake.QueueRx(samples);
    // The adapter goes once every sample has been read, before the window has written any.
    ASSERT_TRUE(WaitUnserved([&] { return fake.RxQueued() == 0; }));
    fake.Unplug();
    ASSERT_TRUE(WaitLost());
    EXPECT_TRUE(box->isChecked()); // the log stays open
    fake.Plug();
    Look();
    ASSERT_TRUE(Connection->Connected());
    fake.QueueRx(BoardFrame(1, 1, 4321));
    // Every sample is charted as it is written to the log.
    TChartSeries& charted = form->Charts()->DataSeries();
    ASSERT_TRUE(QTest::qWaitFor([&] { return charted.Count() == 301; }, 10000)) << charted.Count();
    box->setChecked(false); // closes the log
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_FALSE(lines.isEmpty());
    lines.removeLast(); // after the last line break
    ASSERT_EQ(lines.size(), 301);
    // The samples read before the loss, in order and whole, then the one after the return.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i], QByteArray::number(17640 - i) + '\r') << i;
    EXPECT_EQ(lines.back(), QByteArray("13319\r"));
}

// A failure report still queued when its thread is stopped for another reason belongs to that
// thread: it does not turn the closed or the new link into a lost one.
TEST_F(LinkHealthTest, AFailureReportOfAStoppedThreadIsDropped) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    fake.Fail("FT_GetQueueStatus");
    // The report is posted while the window serves nothing.
    ASSERT_TRUE(WaitUnserved([&] { return ILFrameReader->LinkFailing(); }));
    fake.Heal("FT_GetQueueStatus");
    Find<QPushButton>("DisconnectButton")->click(); // its stop serves the report
    QCoreApplication::processEvents();              // or, where the stop was quick, this
    EXPECT_FALSE(form->LinkLost());
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("Disconnected"));
    EXPECT_EQ(ILFrameReader, nullptr);

    // The same with a new connect: the old thread's report does not touch the new link.
    ConnectFirstDevice();
    fake.Fail("FT_GetQueueStatus");
    ASSERT_TRUE(WaitUnserved([&] { return ILFrameReader->LinkFailing(); }));
    fake.Heal("FT_GetQueueStatus");
    form->ConnectButtonClick(); // the same device still answers: the thread is replaced
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->LinkLost());
    EXPECT_TRUE(Connection->Connected());
    EXPECT_NE(ILFrameReader, nullptr);

    // The report arrives while the stop waits for a read that hangs: it is served inside that
    // wait and must not close and free the thread under it.
    fake.Fail("FT_Read");
    fake.QueueRx(StatusFrame(0));
    ASSERT_TRUE(WaitUnserved([&] { return ILFrameReader->LinkFailing(); }));
    fake.HoldReads();
    const auto atEnd = qScopeGuard([&] { fake.ReleaseReads(); });     // however the test ends
    ASSERT_TRUE(WaitUnserved([&] { return fake.HeldReads() == 1; })); // the thread is in its read
    // The read ends at a turn of the event loop inside the stop's wait, after the calls posted
    // before it, the report among them (a timer also turns in a loop nested in a posted call).
    QTimer release;
    QObject::connect(&release, &QTimer::timeout, [&] { fake.ReleaseReads(); });
    release.start(1);
    Find<QPushButton>("DisconnectButton")->click();
    EXPECT_FALSE(form->LinkLost());
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("Disconnected"));
    EXPECT_EQ(ILFrameReader, nullptr);
    EXPECT_FALSE(Connection->Connected());
}

#ifdef __linux__
TEST_F(KernelLinkHealth, AnAdapterBackBusyThenClosedToTheUserIsReconnectedOnceItOpens) {
    // 60 characters, the model's name at the end: a name cut to make room for a note loses it.
    const QString product =
        QStringLiteral("Iodine-stabilised HeNe standard, bench 42, controller QRX-7A");
    ASSERT_EQ(product.size(), 60);
    auto first = std::make_unique<TPty>();
    Sysfs.AddPort("ttyUSB0", product, "FTQRX001", first->Slave());
    Create({});
    form->show();
    ASSERT_EQ(Listed(), QStringList{product});
    Find<QPushButton>("ConnectButton")->click();
    ASSERT_TRUE(Connection->Connected());

    // The adapter leaves the bus.
    first->CloseMaster();
    Sysfs.RemovePort("ttyUSB0");
    ASSERT_TRUE(WaitLost());
    Look();
    // Another adapter comes and goes meanwhile: it is not ours.
    TPty spare;
    Sysfs.AddPort("ttyUSB1", "QRX-7A spare", "FTQRX002", spare.Slave());
    Look();
    Sysfs.RemovePort("ttyUSB1");
    Look();
    EXPECT_TRUE(form->LinkLost());
    EXPECT_FALSE(Connection->Connected());

    // Back, re-enumerated on a new node: first another program holds it...
    TPty back;
    Sysfs.AddPort("ttyUSB0", product, "FTQRX001", back.Slave());
    const int holder = ::open(QFile::encodeName(back.Slave()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    Look();
    Look();
    EXPECT_EQ(Listed(), QStringList{product + " (busy)"});
    ::close(holder);
    // ... then it is closed to the user for a few scans ...
    {
        const TNotPermitted notYet(Sysfs.Root(), back.Slave());
        for (int scan = 0; scan < 3; ++scan)
            Look();
        EXPECT_EQ(Listed(),
                  QStringList{product + " (" + QString::fromLatin1(NoPermissionNote) + ")"});
    }
    EXPECT_TRUE(form->LinkLost());
    // ... then it opens: reconnected by itself within two scans.
    for (int scan = 0; scan < 2 && form->LinkLost(); ++scan)
        Look();
    ASSERT_FALSE(form->LinkLost());
    EXPECT_TRUE(Connection->Connected());
    EXPECT_EQ(Connection->DeviceID().usbSerialNumber(), QStringLiteral("FTQRX001"));
    EXPECT_EQ(Label("StatusLabel")->text(), QStringLiteral("Connected"));
    // The connect requests, and no tuning command, even after the watchdog's period.
    QTest::qWait(1300);
    const QByteArray wire = back.Read(4096, 200);
    ASSERT_GE(wire.size(), 7 * 12);
    for (qsizetype at = 0; at + 12 <= wire.size(); at += 12)
        EXPECT_FALSE((wire[at + 10] & 0x0F) == 1 && wire[at + 1] >= 32 && wire[at + 1] <= 35)
            << "code " << int(wire[at + 1]);
}
#endif

// --- operator actions, the latest event, a recording, nothing live without a link ----------------

TEST_F(LinkHealthTest, OperatorActionsAreEventsAndTheLockTheyEndIsNoLoss) {
    ConnectRunning();
    int nowMs = 0, losses = 0;
    const QDateTime origin(QDate(2026, 12, 9), QTime(13, 0), QTimeZone::utc());
    LinkEvents->SetClock([&] { return origin.addMSecs(nowMs); });
    // Each step adds one event at its time; a lock ended by the operator's choice is no loss.
    const auto step = [&](int atMs, const QString& event, const std::function<void()>& act) {
        SCOPED_TRACE(event.toStdString());
        nowMs = atMs;
        const qsizetype before = LinkEvents->Events().size();
        act();
        ASSERT_TRUE(QTest::qWaitFor([&] { return LinkEvents->Events().size() > before; }, 5000));
        ASSERT_EQ(LinkEvents->Events().size(), before + 1);
        EXPECT_EQ(LinkEvents->Events().back().Text, event);
        EXPECT_EQ(LinkEvents->Events().back().Time, origin.addMSecs(atMs));
        EXPECT_EQ(LinkEvents->LockLossCount(), losses += event.startsWith("lock lost"));
    };
    const auto rx = [&](const QByteArray& frames) { return [&, frames] { fake.QueueRx(frames); }; };
    step(0, "lock reached (peak f)", rx(BoardFrame(1, 18, 6) + StatusFrame(3)));
    step(1000, "operator: peak j chosen", [&] { form->SimpleJPeakPngSpeedButtonClick(true); });
    step(1800, "lock released (tuning - start) after peak j chosen", rx(StatusFrame(1)));
    step(1800, "lock reached (peak j)", rx(BoardFrame(1, 18, 10) + StatusFrame(3)));
    step(61800, "lock lost (unlocked)", rx(StatusFrame(4)));
    step(62800, "operator: Start, automatic, peak f", [&] { form->StartButtonClick(); });
    step(63800, "operator: Lock", [&] { form->LockButtonClick(); });
    Find<TRealSpinEdit>("FreqDifference2RealSpinEdit")->SetValue(150);
    step(64800, "operator: frequency difference set to 150.000 MHz",
         [&] { form->FreqDifference2ButtonClick(); });
    step(65800, "operator: disconnect", [&] { form->DisconnectButtonClick(); });
}

TEST_F(LinkHealthTest, TheLatestEventIsShortenedInWholeWords) {
    TLinkEvent event;
    event.Time = QDateTime(QDate(2026, 12, 9), QTime(13, 4, 5), QTimeZone::utc());
    event.Text = QStringLiteral("link lost (QRX-7A Laser Controller Serial 000123456789)");
    const QFontMetrics metrics = QLabel().fontMetrics();
    const QString full =
        TLinkEventsView::LockLossText(3) + QStringLiteral("   Latest: 13:04:05 UTC ") + event.Text;
    // The count first, then words from the start as far as they fit, never a part of one.
    for (int width : {2000, metrics.horizontalAdvance(full) - 1, 330, 260, 200, 120}) {
        const QString shown = TLinkEventsView::LatestEventText(3, event, metrics, width);
        SCOPED_TRACE(std::to_string(width) + ": " + shown.toStdString());
        const QString words = shown.endsWith(QChar(0x2026)) ? shown.chopped(1) : shown;
        EXPECT_TRUE(full.startsWith(words) && (words == full || full.at(words.size()) == ' '));
        EXPECT_TRUE(words.startsWith(QStringLiteral("Lock losses since start: 3 ")));
        EXPECT_EQ(words == full, width >= metrics.horizontalAdvance(full));
        // Only the first word may overflow.
        EXPECT_TRUE(metrics.horizontalAdvance(shown) <= width ||
                    shown.endsWith(QStringLiteral("link") + QChar(0x2026)));
    }
}

TEST_F(LinkHealthTest, ARecordingIsSaidOnEveryPageAndItsEventRowsCarryTheStateAfter) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    SetSaveDialogOverride([&](const TSaveDialogRequest&) { return path; });
    ConnectRunning();
    form->show();
    Find<QPushButton>("StabilityRecordButton")->click();
    SetSaveDialogOverride({});
    auto* recording = Label("RecordingLabel");
    EXPECT_EQ(recording->text(), QStringLiteral("Recording to run.csv"));
    for (const char* page : {"SimpleMenuTabSheet", "MainTabSheet", "ServiceLaserTabSheet"}) {
        Find<QTabWidget>("PageControl")->setCurrentWidget(Find<QWidget>(page));
        EXPECT_TRUE(recording->isVisible()) << page;
    }
    fake.QueueRx(BoardFrame(1, 18, 6) + StatusFrame(3) + StatusFrame(4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return LinkEvents->LockLossCount() == 1; }, 5000));
    Find<QPushButton>("StabilityRecordButton")->click();
    EXPECT_FALSE(recording->isVisible());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(file.readAll());
    for (const char* row : {",3,f,[^,]*,[^,]*,lock_reached,lock reached \\(peak f\\)\n",
                            ",4,,[^,]*,[^,]*,lock_lost,lock lost \\(unlocked\\)\n"})
        EXPECT_TRUE(text.contains(QRegularExpression(QString::fromLatin1(row))))
            << row << text.toStdString();
}

TEST_F(LinkHealthTest, NothingLooksLiveWithoutALinkAndAReconnectAwaitsTheStatus) {
    const QByteArray running = BoardFrame(3, 166, 0xD180, 0x08F0, 2500);
    const QByteArray lockedF = BoardFrame(1, 18, 6) + StatusFrame(3);
    const auto shows = [&](const char* label, const char* text) {
        return QTest::qWaitFor([&] { return Label(label)->text().startsWith(text); }, 5000);
    };
    for (const bool lost : {true, false}) {
        SCOPED_TRACE(lost ? "lost link" : "Disconnect");
        ConnectRunning();
        QLabel* panel = Label("SimpleStatusPanel");
        fake.QueueRx(BoardFrame(1, 8, 253) + BoardFrame(1, 4, 40) + running + lockedF);
        ASSERT_TRUE(shows("SignalPWRLabel", "2500") && shows("SimpleStatusPanel", "locked at"));
        if (lost)
            fake.Unplug();
        else
            Find<QPushButton>("DisconnectButton")->click();
        ASSERT_TRUE(!lost || WaitLost());
        for (const char* value : {"CFTValueLabel", "FreqDifferenceValueLabel", "SignalPWRLabel",
                                  "LaserHeNeStateValueLabel", "PeakLabel"})
            EXPECT_EQ(Label(value)->text(), QStringLiteral("--")) << value;
        for (const char* group : {"FreqInfoGroupBox", "FreqDifference2GroupBox",
                                  "TuningMirrorALProgressBar", "LaserHeNeStateValueLabel"})
            EXPECT_FALSE(Find<QWidget>(group)->isEnabled()) << group;
        EXPECT_FALSE(Find<TALProgressBar>("TuningMirrorALProgressBar")->ShowPosText());
        for (const char* chart : {"IodineTabSheet", "FreqDiffTabSheet"})
            EXPECT_NE(Find<QWidget>(chart)->graphicsEffect(), nullptr) << chart;
        EXPECT_EQ(panel->text(), lost ? "link lost - looking for the device" : "disconnected");
        EXPECT_EQ(TMainForm::PanelColor(Label("SimpleStatusHeNePanel")), QColor(0xA0, 0xA0, 0xA4));
        EXPECT_FALSE(form->BlinkTimer->isActive());
        // Live again after a new connect; the peak buttons wait for the board to say the laser
        // runs, and after a lost link (the laser may have stayed locked) the status waits too.
        fake.Plug();
        if (lost)
            Look();
        else
            ConnectFirstDevice();
        ASSERT_TRUE(Connection->Connected());
        EXPECT_EQ(Find<QWidget>("IodineTabSheet")->graphicsEffect(), nullptr);
        fake.QueueRx(lockedF);
        ASSERT_TRUE(shows("StatusLabel", "tuning - locked"));
        EXPECT_EQ(panel->text() == QStringLiteral("link back - waiting for status"), lost);
        EXPECT_FALSE(Find<QToolButton>("SimpleFPeakPngSpeedButton")->isEnabled());
        fake.QueueRx(running);
        ASSERT_TRUE(shows("SimpleStatusPanel", "locked at peak f"));
        EXPECT_EQ(TMainForm::PanelColor(panel), QColor(0, 0x80, 0));
        EXPECT_TRUE(Find<QToolButton>("SimpleFPeakPngSpeedButton")->isEnabled());
        form.reset();
    }
}
