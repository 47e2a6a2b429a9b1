// The frame monitor of the service page: what it shows of the frame log, when, and how it keeps
// up with a link running at full rate.
#include "ServiceTestSupport.h"
#include "ui/service/FrameMonitorUnit.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTableView>

#include <atomic>
#include <thread>

namespace {

class FrameMonitor : public ServiceFixture {
protected:
    void SetUp() override {
        Connect();
        MakeFrame();
    }
    TServiceSendFrameView& View() { return *frame->SendFrameView; }
    TFrameLogModel& Model() { return *View().Model(); }
    QTableView* List() { return Find<QTableView>("ServiceFramesListBox"); }
    QString Cell(int row, int column) {
        return Model().data(Model().index(row, column)).toString();
    }
    void Received(uint8_t code, std::initializer_list<uint8_t> payload = {}, bool ok = true) {
        const TFrame f = LaserAnswer(code, payload);
        log->Record(TFrameDirection::Received, f.data(), ok);
    }
    // Serves events until the list shows rows rows (the refresh runs on a timer).
    bool WaitForRows(int rows) {
        QDeadlineTimer deadline(10000);
        while (Model().rowCount() != rows && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return Model().rowCount() == rows;
    }
};

} // namespace

TEST_F(FrameMonitor, ControlsAreEnabledAndTheListIsEmpty) {
    EXPECT_TRUE(Find<QWidget>("ServiceShowFramesCheckBox")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("ServiceClearFramesButton")->isEnabled());
    EXPECT_EQ(Model().rowCount(), 0);
    EXPECT_EQ(List()->model(), &Model());
}

TEST_F(FrameMonitor, ShowFramesFollowsTheLogOnlyWhileTicked) {
    Click("LHSlopeReadButton");   // sent before the box is ticked
    Received(0x91, {0x34, 0x12}); // and its answer
    EXPECT_EQ(log->ObserversCount(), 0);
    Click("ServiceShowFramesCheckBox");
    EXPECT_TRUE(View().ShowFrames());
    EXPECT_EQ(log->ObserversCount(), 1);
    ASSERT_TRUE(WaitForRows(2)) << "what the log held comes first";

    EXPECT_EQ(Cell(0, TFrameLogModel::ColDir), "TX");
    EXPECT_EQ(Cell(0, TFrameLogModel::ColAddr), "F4");
    EXPECT_EQ(Cell(0, TFrameLogModel::ColCode), "91 145");
    EXPECT_EQ(Cell(0, TFrameLogModel::ColCommand), "LHGetSlope");
    EXPECT_EQ(Cell(0, TFrameLogModel::ColData), "00 00 00 00 00 00 00 00");
    EXPECT_EQ(Cell(1, TFrameLogModel::ColDir), "RX");
    EXPECT_EQ(Cell(1, TFrameLogModel::ColAddr), "4F");
    EXPECT_EQ(Cell(1, TFrameLogModel::ColData), "34 12 00 00 00 00 00 00");
    EXPECT_TRUE(Cell(1, TFrameLogModel::ColSum).endsWith(" ok"));

    Click("ServiceShowFramesCheckBox");
    EXPECT_EQ(log->ObserversCount(), 0);
    Received(0x91);
    View().Refresh();
    EXPECT_EQ(Model().rowCount(), 2) << "the list stands still while unticked";
    Click("ServiceShowFramesCheckBox");
    EXPECT_TRUE(WaitForRows(3));
}

TEST_F(FrameMonitor, BadChecksumShowsInRed) {
    Click("ServiceShowFramesCheckBox");
    Received(0x01, {4}, false);
    ASSERT_TRUE(WaitForRows(1));
    EXPECT_TRUE(Cell(0, TFrameLogModel::ColSum).endsWith(" BAD"));
    const QModelIndex cell = Model().index(0, TFrameLogModel::ColData);
    EXPECT_TRUE(Model().data(cell, Qt::BackgroundRole).isValid());
    EXPECT_TRUE(Model().data(cell, Qt::ToolTipRole).toString().contains("the bytes give"));
    EXPECT_EQ(Model().Bad(), 1u);
}

TEST_F(FrameMonitor, ClearFramesEmptiesTheListAndShowsOnlyNewFrames) {
    Click("ServiceShowFramesCheckBox");
    Received(0x91);
    Received(0x92);
    ASSERT_TRUE(WaitForRows(2));
    Click("ServiceClearFramesButton");
    EXPECT_EQ(Model().rowCount(), 0);
    Received(0x93);
    ASSERT_TRUE(WaitForRows(1));
    EXPECT_EQ(Cell(0, TFrameLogModel::ColCode), "93 147");
}

TEST_F(FrameMonitor, FollowsTheNewestFrameUnlessAnOlderOneIsPicked) {
    Click("ServiceShowFramesCheckBox");
    for (int i = 0; i < 5; ++i)
        Received(0x91);
    ASSERT_TRUE(WaitForRows(5));
    EXPECT_EQ(List()->currentIndex().row(), 4);
    List()->setCurrentIndex(Model().index(1, 0));
    Received(0x91);
    ASSERT_TRUE(WaitForRows(6));
    EXPECT_EQ(List()->currentIndex().row(), 1);
    List()->setCurrentIndex(Model().index(5, 0)); // back at the end: following again
    Received(0x91);
    ASSERT_TRUE(WaitForRows(7));
    EXPECT_EQ(List()->currentIndex().row(), 6);
}

TEST_F(FrameMonitor, ManyFramesBetweenRefreshesPostOneCall) {
    TCountingObserver counter;
    log->AddObserver(&counter);
    Click("ServiceShowFramesCheckBox");
    for (int i = 0; i < 1000; ++i)
        Received(0x01);
    EXPECT_EQ(counter.count.load(), 1) << "the log stays quiet until a reader caught up";
    ASSERT_TRUE(WaitForRows(1000));
    Received(0x01);
    EXPECT_EQ(counter.count.load(), 2);
    log->RemoveObserver(&counter);
}

TEST_F(FrameMonitor, ListKeepsTheNewestRowsAndCountsWhatItMissed) {
    TFrameLogModel model(nullptr, 10);
    TFrameLog small(8);
    for (int i = 0; i < 30; ++i) {
        const TFrame f = LaserAnswer(0x01, {uint8_t(i)});
        small.Record(TFrameDirection::Received, f.data(), true);
    }
    uint64_t cursor = 0;
    model.Append(small.ReadSince(cursor)); // frames 22..29: 0..21 already gone from the log
    EXPECT_EQ(model.rowCount(), 8);
    for (int i = 30; i < 35; ++i) {
        const TFrame f = LaserAnswer(0x01, {uint8_t(i)});
        small.Record(TFrameDirection::Received, f.data(), true);
    }
    model.Append(small.ReadSince(cursor));
    EXPECT_EQ(model.rowCount(), 10);
    EXPECT_EQ(model.Entry(0).Seq, 25u);
    EXPECT_EQ(model.Entry(9).Seq, 34u);
    EXPECT_EQ(model.Shown(), 13u);
    model.Append({});
    EXPECT_EQ(model.rowCount(), 10);
}

TEST_F(FrameMonitor, ReleaseWithARefreshPending) {
    Click("ServiceShowFramesCheckBox");
    Received(0x01);
    frame->Release();
    EXPECT_EQ(log->ObserversCount(), 0);
    EXPECT_EQ(List()->model(), nullptr);
    Received(0x01);
    QCoreApplication::processEvents();
}

// The receive thread records at the line's limit, 960 frames/s, while the GUI thread serves
// its events; every frame reaches the list and the monitor is drawn at the end.
TEST_F(FrameMonitor, KeepsUpWithTheLineRate) {
    page->show();
    Click("ServiceShowFramesCheckBox");
    constexpr int Frames = 960;
    std::atomic<bool> done{false};
    std::thread receiver([&] {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < Frames; ++i) {
            const TFrame f =
                LaserAnswer(uint8_t(i % 5 ? 0x01 : 0x9F), {uint8_t(i), uint8_t(i >> 8)});
            RecordReceivedFrame(f.data(), i % 300 != 299);
            std::this_thread::sleep_until(start +
                                          std::chrono::microseconds(1000000 / 960 * (i + 1)));
        }
        done = true;
    });
    QElapsedTimer sinceClick;
    sinceClick.start();
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (sinceClick.elapsed() >= 100) { // the technician keeps working meanwhile
            Click("LHSlopeReadButton");
            sinceClick.restart();
        }
    }
    receiver.join();
    const int expected = int(log->NextSeq()); // the received frames and the requests sent
    ASSERT_TRUE(WaitForRows(expected)) << Model().rowCount() << " of " << expected;
    EXPECT_EQ(Model().Missed(), 0u);
    EXPECT_EQ(Model().Bad(), 3u);
    EXPECT_EQ(List()->currentIndex().row(), expected - 1);
    SaveScreenshot(frame, "frame-monitor.png");
}
