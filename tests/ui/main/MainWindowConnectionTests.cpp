// The main window's creation and release, search, connect, disconnect, the watchdog and the
// adaptation to the device kind, against the scripted fake driver and a real TConnection.
#include "MainWindowTestSupport.h"

#include "protocol/ReadFrameUnit.h"
#include "protocol/SendFrameUnit.h"
#include "ui/controls/RealSpinEdit.h"
#include "ui/firmware/FirmwareUpdateViewUnit.h"
#include "ui/service/LaserFrameUnit.h"

#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <mutex>
#include <string>

namespace {

const std::vector<TWireFrame> ConnectRequests{
    {1, 93}, {1, 71}, {1, 75}, {1, 80}, {1, 69}, {4, 159}, {2, 221},
};

QByteArray StatusFrame(uint16_t state) {
    const TFrame f = BuildParamsFrame(0, 3, 0, state);
    QByteArray bytes(reinterpret_cast<const char*>(f.data()), FrameSize);
    bytes[10] = char(0x1F); // from the controller main board to the PC
    bytes[11] = char(FrameChecksum(reinterpret_cast<const uint8_t*>(bytes.constData())));
    return bytes;
}

} // namespace

TEST_F(MainWindowTest, CreationShowsTheSimplePageWithTheTabsHidden) {
    Create({});
    EXPECT_EQ(MainForm, form.get());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Halvane v.2022.06.1"));
    EXPECT_EQ(form->size(), QSize(1133, 691));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    auto* pages = Find<QTabWidget>("PageControl");
    ASSERT_EQ(pages->count(), 5);
    const char* names[] = {"MainTabSheet", "SimpleMenuTabSheet", "ServiceLaserTabSheet",
                           "FirmwareUpdateTabSheet", "TestTabSheet"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName(), QString::fromLatin1(names[i]));
        EXPECT_FALSE(pages->isTabVisible(i)) << i;
    }
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("SimpleMenuTabSheet"));
    EXPECT_TRUE(Find<QWidget>("ServicePanel")->isHidden());
    EXPECT_FALSE(Find<QPushButton>("ConnectButton")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("DisconnectButton")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("StartButton")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("LockButton")->isHidden());
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("Search completed"));
    EXPECT_EQ(Find<QComboBox>("ExpectedPeaksFromComboBox")->count(), 14);
    EXPECT_EQ(Find<QComboBox>("ExpectedPeaksToComboBox")->itemText(13), QStringLiteral("n"));
    EXPECT_NE(ApplicationManager, nullptr);
    EXPECT_NE(Laser, nullptr);
    EXPECT_NE(Connection, nullptr);
    // The watchdog waits until the simple page is really showing.
    EXPECT_FALSE(form->ConnectionTimer->isActive());
    form->show();
    EXPECT_TRUE(form->ConnectionTimer->isActive());
    EXPECT_EQ(form->ConnectionTimer->interval(), 1000);

    form.reset();
    EXPECT_EQ(MainForm, nullptr);
    EXPECT_EQ(ApplicationManager, nullptr);
    EXPECT_EQ(Laser, nullptr);
    EXPECT_EQ(Connection, nullptr);
}

TEST_F(MainWindowTest, SearchListsTheDevicesAndSelectsTheFirst) {
    Create({"QRX-7A one", "junk", "TMVK v2 two"});
    auto* list = Find<QListWidget>("DeviceListListBox");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("TMVK v2 two"));
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(Find<QPushButton>("ConnectButton")->isEnabled());

    fake.SetDevices({});
    Find<QPushButton>("SearchUrzadzenButton")->click();
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(Find<QPushButton>("ConnectButton")->isEnabled());
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("Search completed"));
}

TEST_F(MainWindowTest, ConnectStartsTheReceiveThreadAndSendsTheSevenRequestsInOrder) {
    Create({"QRX-7A one"});
    form->CRCError();
    ClearWire();
    ConnectFirstDevice();
    EXPECT_EQ(Wire(), ConnectRequests);
    EXPECT_EQ(form->CRCErrorCounter, 0u);
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("Connected"));
    ASSERT_NE(ILFrameReader, nullptr);
    EXPECT_TRUE(ILFrameReader->isRunning());
    EXPECT_FALSE(Find<QPushButton>("ConnectButton")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("DisconnectButton")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("StartButton")->isEnabled());
    EXPECT_TRUE(Find<QComboBox>("ScopeScaleComboBox")->isEnabled());
    EXPECT_EQ(Find<QTabWidget>("ChartsPageControl")->currentWidget()->objectName(),
              QStringLiteral("IodineTabSheet"));
}

TEST_F(MainWindowTest, FailedConnectSendsNothingAndStartsNoThread) {
    Create({"QRX-7A one"});
    fake.Fail("FT_OpenEx");
    ClearWire();
    Find<QPushButton>("ConnectButton")->click();
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("Connection error"));
    EXPECT_TRUE(Find<QPushButton>("ConnectButton")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("StartButton")->isEnabled());
    EXPECT_EQ(ILFrameReader, nullptr);
    EXPECT_TRUE(Wire().empty());
}

TEST_F(MainWindowTest, ConnectWithoutASelectedDeviceAsksForOne) {
    Create({"QRX-7A one"});
    Find<QListWidget>("DeviceListListBox")->setCurrentRow(-1);
    Find<QPushButton>("ConnectButton")->click();
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("Select device"));
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 0);
}

TEST_F(MainWindowTest, DisconnectStopsTheThreadClosesTheLinkAndEmptiesTheList) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    Find<QPushButton>("DisconnectButton")->click();
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(ILFrameReader, nullptr);
    EXPECT_EQ(fake.OpenHandles(), 0);
    EXPECT_EQ(Find<QListWidget>("DeviceListListBox")->count(), 0);
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("Disconnected"));
    EXPECT_FALSE(Find<QPushButton>("ConnectButton")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("DisconnectButton")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("StartButton")->isEnabled());
    EXPECT_FALSE(Find<QComboBox>("ScopeScaleComboBox")->isEnabled());
    // Connect stays disabled until a search fills the list again.
    Find<QPushButton>("SearchUrzadzenButton")->click();
    EXPECT_TRUE(Find<QPushButton>("ConnectButton")->isEnabled());
}

TEST_F(MainWindowTest, DisconnectEndsTheBlinkingAndTheSimplePageSaysSo) {
    Create({"TMVK v2 one"}); // the iodine laser runs from the connect on
    ConnectFirstDevice();
    fake.QueueRx(StatusFrame(1)); // the controller is busy: "wait for device", blinking
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->BlinkTimer->isActive(); }, 5000));
    Find<QPushButton>("DisconnectButton")->click();
    EXPECT_FALSE(form->BlinkTimer->isActive());
    EXPECT_EQ(Find<QLabel>("SimpleStatusPanel")->text(), QStringLiteral("disconnected"));
}

TEST_F(MainWindowTest, RefusedCloseKeepsTheLinkInUseAndDisconnectMayBeTriedAgain) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    form->IodineLaserRunning = true;
    fake.Fail("FT_Close");
    Find<QPushButton>("DisconnectButton")->click();
    auto* status = Find<QLabel>("StatusLabel");
    EXPECT_EQ(status->text(), QStringLiteral("Connection error"));
    EXPECT_TRUE(Connection->Connected());
    EXPECT_TRUE(Find<QPushButton>("DisconnectButton")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("StartButton")->isEnabled());
    // A new receive thread reads the link that stayed open.
    ASSERT_NE(ILFrameReader, nullptr);
    EXPECT_TRUE(ILFrameReader->isRunning());
    fake.QueueRx(StatusFrame(10));
    EXPECT_TRUE(QTest::qWaitFor([&] { return status->text() == "tuning - error"; }, 5000));

    fake.Heal("FT_Close");
    Find<QPushButton>("DisconnectButton")->click();
    EXPECT_EQ(status->text(), QStringLiteral("Disconnected"));
    EXPECT_FALSE(Connection->Connected());
    EXPECT_EQ(ILFrameReader, nullptr);
    EXPECT_EQ(fake.OpenHandles(), 0);
    EXPECT_FALSE(Find<QPushButton>("DisconnectButton")->isEnabled());
}

TEST_F(MainWindowTest, ConnectingAnotherDeviceClosesTheOpenOneAndGoesByTheNewKind) {
    // Each row: the device connected first, then the one chosen while connected, and whether
    // the laser-head request reaches the second (only a controller with a laser head gets it).
    const struct {
        const char* First;
        const char* Second;
        bool LaserHeadRequest;
    } cases[] = {{"QRX-7A one", "TMVK v2 two", false}, {"TMVK v2 two", "QRX-7A one", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.First);
        Create({c.First, c.Second});
        ConnectFirstDevice();
        ClearWire();
        Find<QPushButton>("SearchUrzadzenButton")->click(); // lists both, Connect enabled
        Find<QListWidget>("DeviceListListBox")->setCurrentRow(1);
        Find<QPushButton>("ConnectButton")->click();
        ASSERT_TRUE(Connection->Connected());
        EXPECT_EQ(fake.CountOf("FT_Close"), 1);
        EXPECT_EQ(fake.OpenHandles(), 1);
        std::string opened;
        for (const auto& call : fake.Calls())
            if (call.name == "FT_OpenEx")
                opened = call.text;
        EXPECT_EQ(opened, c.Second);
        std::vector<TWireFrame> expected = ConnectRequests;
        if (!c.LaserHeadRequest)
            expected.erase(expected.begin() + 5);
        EXPECT_EQ(Wire(), expected);
        EXPECT_EQ(form->IodineLaserRunning, !c.LaserHeadRequest);
        form.reset();
    }
}

TEST_F(MainWindowTest, RefusedCloseOfTheOpenDeviceKeepsItAndItsKind) {
    Create({"QRX-7A one", "TMVK v2 two"});
    ConnectFirstDevice();
    fake.Fail("FT_Close");
    Find<QPushButton>("SearchUrzadzenButton")->click();
    Find<QListWidget>("DeviceListListBox")->setCurrentRow(1);
    Find<QPushButton>("ConnectButton")->click();
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("Connection error"));
    EXPECT_EQ(Connection->DeviceID().fullName(), QStringLiteral("QRX-7A one"));
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 1);
    EXPECT_TRUE(Find<QPushButton>("ConnectButton")->isEnabled());
    ASSERT_NE(ILFrameReader, nullptr);
    EXPECT_TRUE(ILFrameReader->isRunning());
    fake.Heal("FT_Close");
}

TEST_F(MainWindowTest, ConnectingTwiceLeavesOneReceiveThread) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    QPointer<TReadILFrameThread> first = ILFrameReader;
    ConnectFirstDevice();
    EXPECT_TRUE(first.isNull()); // stopped and freed before the second was made
    ASSERT_NE(ILFrameReader, nullptr);
    EXPECT_TRUE(ILFrameReader->isRunning());
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 1); // the open handle was kept
}

TEST_F(MainWindowTest, WatchdogConnectsASingleDeviceAndStartsTheSearch) {
    Create({"QRX-7A one"});
    ClearWire();
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([] { return Connection->Connected(); }, 5000));
    // The watchdog sends its two StartStep2 right after the connect's requests.
    ASSERT_TRUE(QTest::qWaitFor([this] { return Wire().size() >= 9; }, 5000));
    std::vector<TWireFrame> expected = ConnectRequests;
    expected.push_back({1, 33, 1});
    expected.push_back({1, 33, 1});
    EXPECT_EQ(Wire(), expected);
    EXPECT_NE(ILFrameReader, nullptr);
    // Connected: later ticks neither search nor send.
    const int searches = fake.CountOf("FT_CreateDeviceInfoList");
    form->ConnectionTimerTimer();
    EXPECT_EQ(fake.CountOf("FT_CreateDeviceInfoList"), searches);
    EXPECT_EQ(Wire().size(), 9u);
}

TEST_F(MainWindowTest, WatchdogNeverConnectsWhenSeveralDevicesAreAttached) {
    Create({"QRX-7A one", "QRX-7A two"});
    const int searches = fake.CountOf("FT_CreateDeviceInfoList");
    form->ConnectionTimerTimer();
    form->ConnectionTimerTimer();
    EXPECT_EQ(fake.CountOf("FT_CreateDeviceInfoList"), searches + 2);
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 0);
    EXPECT_FALSE(Connection->Connected());
    EXPECT_TRUE(Wire().empty());
    EXPECT_EQ(Find<QListWidget>("DeviceListListBox")->count(), 2);
}

TEST_F(MainWindowTest, WatchdogRunsOnlyWhileTheSimplePageShows) {
    Create({});
    form->show();
    EXPECT_TRUE(form->ConnectionTimer->isActive());
    Find<QPushButton>("NextButton")->click();
    EXPECT_EQ(Find<QTabWidget>("PageControl")->currentWidget()->objectName(),
              QStringLiteral("MainTabSheet"));
    EXPECT_FALSE(form->ConnectionTimer->isActive());
    Find<QPushButton>("BackButton")->click();
    EXPECT_TRUE(form->ConnectionTimer->isActive());
}

TEST_F(MainWindowTest, SecondControllerHidesTheHeNeGroupsAndChartTabs) {
    Create({"TMVK v2 lab"});
    ClearWire();
    ConnectFirstDevice();
    EXPECT_TRUE(form->IodineLaserRunning);
    for (const char* name : {"SimpleStatusHeNeGroupBox", "FreqDifference1GroupBox",
                             "FreqDifference2GroupBox", "FreqInfoGroupBox", "StatusHeNeGroupBox"})
        EXPECT_TRUE(Find<QWidget>(name)->isHidden()) << name;
    auto* charts = Find<QTabWidget>("ChartsPageControl");
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(charts->isTabVisible(i)) << i;
    // no frequency board, no beat: the stability page goes with the frequency-difference page
    EXPECT_FALSE(charts->isTabVisible(charts->indexOf(Find<QWidget>("StabilityView"))));
    // The laser-head request is not written to this kind.
    std::vector<TWireFrame> expected = ConnectRequests;
    expected.erase(expected.begin() + 5);
    EXPECT_EQ(Wire(), expected);
}

TEST_F(MainWindowTest, EveryChartTabFollowsTheKindAndIodineHasATabWheneverAnyHas) {
    Create({"QRX-7A one", "TMVK v2 two"});
    auto* charts = Find<QTabWidget>("ChartsPageControl");
    for (int row : {1, 0, 1}) { // the second model, the first, the second again
        charts->setCurrentIndex(charts->count() - 1); // the operator was on the last page
        Find<QPushButton>("SearchUrzadzenButton")->click();
        Find<QListWidget>("DeviceListListBox")->setCurrentRow(row);
        Find<QPushButton>("ConnectButton")->click();
        for (int i = 0; i < charts->count(); ++i) // the first model: all but the HeNe chart
            EXPECT_EQ(charts->isTabVisible(i), row == 0 && i != 1) << row << " " << i;
        EXPECT_EQ(charts->currentWidget()->objectName(), QStringLiteral("IodineTabSheet"));
    }
}

TEST_F(MainWindowTest, ControllerWithHeNeLaserShowsItsGroupsAndWaitsForTheLaser) {
    Create({"QRX-7A lab"});
    form->IodineLaserRunning = true;
    ConnectFirstDevice();
    EXPECT_FALSE(form->IodineLaserRunning);
    for (const char* name : {"SimpleStatusHeNeGroupBox", "FreqDifference1GroupBox",
                             "FreqDifference2GroupBox", "FreqInfoGroupBox", "StatusHeNeGroupBox"})
        EXPECT_FALSE(Find<QWidget>(name)->isHidden()) << name;
    auto* charts = Find<QTabWidget>("ChartsPageControl");
    EXPECT_TRUE(charts->isTabVisible(0));
    EXPECT_FALSE(charts->isTabVisible(1));
    EXPECT_TRUE(charts->isTabVisible(2));
    const int stability = charts->indexOf(Find<QWidget>("StabilityView"));
    EXPECT_TRUE(charts->isTabVisible(stability));
    EXPECT_EQ(charts->tabText(stability), QStringLiteral("Stability"));
}

TEST_F(MainWindowTest, TheNetworkIndicatorKeepsClearOfTheLogo) {
    Create({});
    const QRect indicator = form->AddNetworkIndicator()->geometry();
    form->show();
    Find<QPushButton>("NextButton")->click(); // the main page, with the logo
    for (bool tabs : {false, true}) {
        form->SetTabsVisible(tabs);
        auto* logo = Find<QWidget>("LogoImage");
        const QRect area(logo->mapTo(form->ClientArea(), QPoint(0, 0)), logo->size());
        EXPECT_FALSE(indicator.intersects(area)) << tabs;
        EXPECT_TRUE(form->ClientArea()->rect().contains(indicator));
    }
}

TEST_F(MainWindowTest, ClosingWhileStatusReportsStreamStopsTheThreadFirst) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    form->IodineLaserRunning = true;
    QByteArray stream;
    for (int i = 0; i < 200; ++i)
        stream += StatusFrame(i % 15);
    // The release steps as they happen, each with the number of link closes so far.
    std::mutex mutex;
    std::vector<std::pair<std::string, int>> steps;
    auto step = [&](const char* what) {
        std::lock_guard lock(mutex);
        steps.emplace_back(what, fake.CountOf("FT_Close"));
    };
    QObject::connect(
        ILFrameReader, &QThread::finished, ILFrameReader, [&] { step("receive thread"); },
        Qt::DirectConnection);
    auto* firmwareView = form->findChild<TServiceMasterFirmwareUpdateView*>();
    auto* laserFrame = form->findChild<TLaserFrame*>();
    ASSERT_TRUE(firmwareView && laserFrame);
    QObject::connect(firmwareView, &QObject::destroyed, [&] { step("firmware view"); });
    QObject::connect(laserFrame, &QObject::destroyed, [&] { step("laser frame"); });
    fake.QueueRx(stream);
    // Reports arrive (synchronised) while the window is released: no hang, nothing left over.
    QTest::qWait(20);
    form.reset();
    EXPECT_EQ(ILFrameReader, nullptr);
    EXPECT_EQ(Connection, nullptr);
    EXPECT_EQ(fake.OpenHandles(), 0);
    // The thread stops first, then the views go, and only then is the link closed.
    const std::vector<std::pair<std::string, int>> expected{
        {"receive thread", 0}, {"firmware view", 0}, {"laser frame", 0}};
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(fake.CountOf("FT_Close"), 1);
}

TEST_F(MainWindowTest, StatusReportsFromTheWireReachTheWindow) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    form->IodineLaserRunning = true;
    fake.QueueRx(StatusFrame(10));
    auto* status = Find<QLabel>("StatusLabel");
    EXPECT_TRUE(QTest::qWaitFor([&] { return status->text() == "tuning - error"; }, 5000));
    QByteArray corrupt = StatusFrame(0);
    corrupt[11] = char(corrupt[11] + 1);
    fake.QueueRx(corrupt);
    auto* crc = Find<QLabel>("CRCErrorsLabel");
    EXPECT_TRUE(QTest::qWaitFor([&] { return crc->text() == "1"; }, 5000));
}

TEST_F(MainWindowTest, LogoOpensTheMakersWebAddress) {
    Create({});
    form->show();
    auto* logo = Find<QLabel>("LogoImage");
    Find<QPushButton>("NextButton")->click();
    EXPECT_FALSE(logo->pixmap().isNull());
    QTest::mouseClick(logo, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], TMainForm::MakerWebAddress);
}

TEST_F(MainWindowTest, PulledDeviceLeavesTheWindowConnectedAndASearchFindsItWhenBack) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    // The adapter leaves the bus: every read fails, the search finds nothing.
    fake.SetDevices({});
    fake.Fail("FT_GetQueueStatus");
    fake.Fail("FT_Read");
    QTest::qWait(30);
    // Shorter than the receive thread's failure time: not yet a lost link (the lost link and
    // its recovery are the link-health tests').
    EXPECT_TRUE(Connection->Connected());
    EXPECT_EQ(Find<QLabel>("StatusLabel")->text(), QStringLiteral("Connected"));
    form->ConnectionTimerTimer(); // the watchdog sees a connected link and leaves it alone
    EXPECT_EQ(Find<QListWidget>("DeviceListListBox")->count(), 1);
    Find<QPushButton>("SearchUrzadzenButton")->click();
    EXPECT_EQ(Find<QListWidget>("DeviceListListBox")->count(), 0);
    EXPECT_FALSE(Find<QPushButton>("ConnectButton")->isEnabled());

    // Plugged in again: a search lists it and Connect opens it anew and reads again.
    // The old handle stays dead until the new one is open.
    fake.SetDevices({"QRX-7A one"});
    ConnectFirstDevice();
    EXPECT_EQ(fake.CountOf("FT_OpenEx"), 1 + 1);
    fake.Heal("FT_GetQueueStatus");
    fake.Heal("FT_Read");
    form->IodineLaserRunning = true;
    fake.QueueRx(StatusFrame(10));
    auto* status = Find<QLabel>("StatusLabel");
    EXPECT_TRUE(QTest::qWaitFor([&] { return status->text() == "tuning - error"; }, 5000));
}

TEST_F(MainWindowTest, KeyPreviewSeesEveryTypedCharacterOnce) {
    Create({});
    form->show();
    QString seen;
    QObject::connect(form.get(), &TMainForm::KeyPreview, [&](QChar key) { seen += key; });
    auto* field = Find<QWidget>("FreqDifference2RealSpinEdit");
    field->setFocus();
    QApplication::setActiveWindow(form.get());
    QTest::keyClicks(field, QStringLiteral("47x1"));
    auto* next = Find<QWidget>("NextButton");
    next->setFocus();
    QTest::keyClicks(next, QStringLiteral("5"));
    EXPECT_EQ(seen, QStringLiteral("47x15"));
    // Keys of another window are not this window's.
    QWidget other;
    other.show();
    QTest::keyClicks(&other, QStringLiteral("0"));
    EXPECT_EQ(seen, QStringLiteral("47x15"));
}

TEST_F(MainWindowTest, LaserHeadFrequencyDifferenceAnswerFillsBothFieldsUnclamped) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    // Answer 159 from the laser head (sender 4): 450 MHz in hertz, above both fields' limits.
    TFrame f = BuildParamsFrame(0, Cmd::LHGetWavelength, 0x7480, 0x1AD2);
    f[10] = 0x4F;
    f[11] = FrameChecksum(f);
    fake.QueueRx(QByteArray(reinterpret_cast<const char*>(f.data()), FrameSize));
    auto* one = Find<TRealSpinEdit>("FreqDifference1RealSpinEdit");
    auto* two = Find<TRealSpinEdit>("FreqDifference2RealSpinEdit");
    ASSERT_TRUE(QTest::qWaitFor([&] { return one->Value() == 450.0; }, 5000))
        << one->text().toStdString();
    EXPECT_EQ(two->Value(), 450.0);
}

TEST_F(MainWindowTest, ConnectAgainStopsTheReceiveThreadBeforeTheStaleHandleIsClosed) {
    Create({"QRX-7A one"});
    ConnectFirstDevice();
    // The receive thread sits in a read that takes its time; the handle no longer answers its
    // queue status, so Connect opens the adapter again and closes the old handle.
    fake.SetReadDelayMs(500);
    fake.QueueRx(StatusFrame(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.ReadsInProgress() > 0; }, 5000));
    fake.Fail("FT_GetQueueStatus");
    form->ConnectButtonClick();
    fake.Heal("FT_GetQueueStatus");
    fake.SetReadDelayMs(0);
    EXPECT_TRUE(Connection->Connected());
    EXPECT_EQ(fake.Closes(), 1);
    EXPECT_EQ(fake.ClosesDuringRead(), 0);
    EXPECT_EQ(fake.OpenHandles(), 1);
    EXPECT_NE(ILFrameReader, nullptr);
}
