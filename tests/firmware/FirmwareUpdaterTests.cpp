// The programming engine against a scripted boot loader: the frames on the wire, every error
// path, progress, and the threads a run may take.
#include "FirmwareFiles.h"
#include "ScriptedBootLoader.h"

#include "app/GlobalUnit.h"
#include "firmware/FirmwareUpdaterUnit.h"
#include "link/ConnectionUnit.h"
#include "protocol/CommandTableUnit.h"
#include "protocol/FirmwareAckUnit.h"
#include "support/FakeD2XX.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <utility>

using namespace fwtest;

namespace {

struct TNote {
    TFirmwareUpdaterErrors error;
    int32_t state;
    bool operator==(const TNote&) const = default;
};
void PrintTo(const TNote& n, std::ostream* os) {
    *os << "{error " << int(n.error) << ", state " << n.state << "}";
}

class TRecordingObserver : public TObserver {
public:
    void Notify(TSubject* Subject) override {
        auto* u = dynamic_cast<TFirmwareUpdater*>(Subject);
        ASSERT_NE(u, nullptr);
        std::lock_guard lock(FMutex);
        FNotes.push_back({u->Error(), u->ProgrammingState()});
    }
    std::vector<TNote> Notes() const {
        std::lock_guard lock(FMutex);
        return FNotes;
    }
    std::vector<TFirmwareUpdaterErrors> Errors() const {
        std::vector<TFirmwareUpdaterErrors> e;
        for (const TNote& n : Notes())
            e.push_back(n.error);
        return e;
    }
    void Clear() {
        std::lock_guard lock(FMutex);
        FNotes.clear();
    }

private:
    mutable std::mutex FMutex;
    std::vector<TNote> FNotes;
};

TFrame Expected(uint8_t target, uint8_t code, std::vector<uint8_t> data = {}) {
    data.resize(8, 0);
    return BuildFrame(target, code, data.data());
}

// The fake adapter, also keeping the code of every frame written in a list another thread can
// take from.
class TCodeRecordingD2XX : public TFakeD2XX {
public:
    FT_STATUS Write(FT_HANDLE h, const void* buffer, FT_DWORD count, FT_DWORD* written) override {
        if (count >= 2) {
            std::lock_guard lock(FMutex);
            FCodes.push_back(static_cast<const uint8_t*>(buffer)[1]);
        }
        return TFakeD2XX::Write(h, buffer, count, written);
    }
    std::vector<uint8_t> TakeCodes() {
        std::lock_guard lock(FMutex);
        return std::exchange(FCodes, {});
    }

private:
    std::mutex FMutex;
    std::vector<uint8_t> FCodes;
};

// The updater on a connected fake adapter, driven by a scripted boot loader.
struct UpdaterTest : ::testing::Test {
    TCodeRecordingD2XX fake;
    TConnection connection;
    TImageFolder dir;
    TRecordingObserver observer;
    std::shared_ptr<TScriptedBootLoader> board = std::make_shared<TScriptedBootLoader>(fake);
    TFirmwareUpdater updater;

    void SetUp() override {
        Connect("QRX-7A bench");
        updater.SetClock(board);
        updater.SetDevId(BoardController);
        updater.AddObserver(&observer);
    }
    void TearDown() override {
        updater.RemoveObserver(&observer);
        Connection = nullptr;
    }
    void Connect(const char* description) {
        fake.SetDevices({description});
        QStringList names;
        connection.GetAvailableDevices(names);
        connection.SetDeviceID(QString::fromLatin1(description));
        ASSERT_TRUE(connection.Connect());
        Connection = &connection;
        fake.ClearRecord();
    }
    // Every frame sent after the erase.
    std::vector<TFrame> AfterErase() const {
        std::vector<TFrame> out;
        bool erased = false;
        for (const TSentFrame& s : board->Sent()) {
            if (erased)
                out.push_back(s.frame);
            erased = erased || s.code() == Cmd::FwErase;
        }
        return out;
    }
    // Runs once with a script that changes only the answers to one code.
    void AnswerCode(uint8_t code, std::function<std::vector<TAnswer>(int n)> answers) {
        board->SetScript([this, code, answers](const TFrame& f, int n) {
            const std::vector<TAnswer> good = board->Good(f); // keeps the memory written
            return f[1] == code ? answers(n) : good;
        });
    }
    QString TwoBlockImage() {
        return dir.Write("two.hex", {ColonData(0x100, Range(16)), ColonData(0x110, Range(1, 16)),
                                     ColonData(0x200, Range(2, 0xA0)), ColonEnd()});
    }
};

using Codes = std::vector<uint8_t>;

} // namespace

// --- good runs -------------------------------------------------------------------------------

TEST_F(UpdaterTest, GoodRunSendsTheHandshakeAndTheImageByteForByte) {
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.Error(), _fue_none);
    EXPECT_EQ(updater.ProgrammingState(), 100);

    const std::vector<TSentFrame> sent = board->Sent();
    ASSERT_EQ(sent.size(), 10u);
    const std::vector<TFrame> expected = {
        Expected(1, Cmd::FwReset),
        Expected(1, Cmd::FwSwitchToProgramming),
        Expected(1, Cmd::FwErase),
        Expected(1, Cmd::FwAddress, {0x00, 0x00, 0x01, 0x00}),
        Expected(1, Cmd::FwData, Range(8)),
        Expected(1, Cmd::FwData, Range(8, 8)),
        Expected(1, Cmd::FwData, {16, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
        Expected(1, Cmd::FwAddress, {0x00, 0x00, 0x02, 0x00}),
        Expected(1, Cmd::FwData, {0xA0, 0xA1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
        Expected(1, Cmd::FwTransferCompleted),
    };
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(sent[i].frame, expected[i]) << "frame " << i;
    // The finish frame goes out last and is not awaited.
    EXPECT_EQ(fake.Written(),
              QByteArray(reinterpret_cast<const char*>(Expected(1, Cmd::FwFinish).data()), 12));
}

TEST_F(UpdaterTest, ProgressCountsFillerSlotsAgainstTheBytesLessOnePerBlock) {
    updater.Update(TwoBlockImage());
    // Blocks of 17 and 2 bytes: (17 - 1) + (2 - 1) = 17 to divide by; 8 slots a frame.
    EXPECT_EQ(observer.Notes(), (std::vector<TNote>{{_fue_none, 0},
                                                    {_fue_none, 800 / 17},
                                                    {_fue_none, 1600 / 17},
                                                    {_fue_none, 2400 / 17},
                                                    {_fue_none, 3200 / 17},
                                                    {_fue_none, 100}}));
}

TEST_F(UpdaterTest, TheBoardHoldsTheImageAfterARun) {
    // Blocks at several places, one above 64 KiB.
    std::vector<QByteArray> lines;
    std::map<uint32_t, uint8_t> image;
    for (unsigned r = 0; r < 20; ++r) {
        const Bytes data = Range(16, r * 7);
        lines.push_back(ColonData(0x1000 + 16 * r, data));
        for (unsigned i = 0; i < 16; ++i)
            image[0x1000 + 16 * r + i] = data[i];
    }
    lines.push_back(ColonExt(0x0001));
    lines.push_back(ColonData(0x0010, Range(5, 0x33)));
    for (unsigned i = 0; i < 5; ++i)
        image[0x10010 + i] = uint8_t(0x33 + i);
    lines.push_back(ColonEnd());

    updater.Update(dir.Write("image.hex2", lines));
    ASSERT_EQ(updater.Error(), _fue_none);
    for (const auto& [address, value] : image)
        EXPECT_EQ(board->Memory().at(address), value) << address;
    // Everything else the board was sent is filler.
    for (const auto& [address, value] : board->Memory()) {
        if (!image.count(address)) {
            EXPECT_EQ(value, 0xFF) << address;
        }
    }
}

TEST_F(UpdaterTest, PercentImageSendsWordAddresses) {
    updater.SetDevId(BoardDSP);
    updater.Update(dir.Write("dsp.x00", {PercentData(0x12345, Range(8)),
                                         PercentData(0x12349, Range(4, 8)), PercentEnd(0x12345)}));
    EXPECT_EQ(updater.Error(), _fue_none);
    const std::vector<TFrame> frames = AfterErase();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], Expected(2, Cmd::FwAddress, {0x00, 0x01, 0x23, 0x45}));
    EXPECT_EQ(frames[1], Expected(2, Cmd::FwData, Range(8)));
    EXPECT_EQ(frames[2], Expected(2, Cmd::FwData, {8, 9, 10, 11, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(frames[3], Expected(2, Cmd::FwTransferCompleted));
}

TEST_F(UpdaterTest, BlocksAtZeroAnd64KiBAndAnEmptyBlockBetween) {
    // The extended address record in the middle leaves an empty block at 0.
    updater.Update(dir.Write("wide.hex", {ColonData(0, Range(8)), ColonExt(0x0001),
                                          ColonData(0, Range(8, 8)), ColonEnd()}));
    EXPECT_EQ(updater.Error(), _fue_none);
    const std::vector<TFrame> frames = AfterErase();
    const std::vector<TFrame> expected = {
        Expected(1, Cmd::FwAddress, {0, 0, 0, 0}), Expected(1, Cmd::FwData, Range(8)),
        Expected(1, Cmd::FwAddress, {0, 0, 0, 0}), // the empty block: no data frame
        Expected(1, Cmd::FwAddress, {0, 1, 0, 0}), Expected(1, Cmd::FwData, Range(8, 8)),
        Expected(1, Cmd::FwTransferCompleted),
    };
    EXPECT_EQ(frames, expected);
}

TEST_F(UpdaterTest, ProgressStaysAtZeroWhenThereIsNothingToDivideBy) {
    // One byte: the count is 0.
    updater.Update(dir.Write("one.hex", {ColonData(0x40, {0x5A}), ColonEnd()}));
    EXPECT_EQ(updater.Error(), _fue_none);
    EXPECT_EQ(observer.Notes(),
              (std::vector<TNote>{{_fue_none, 0}, {_fue_none, 0}, {_fue_none, 100}}));

    // Two single bytes and an empty block: the count is negative.
    observer.Clear();
    updater.Update(dir.Write(
        "neg.hex", {ColonData(0x40, {1}), ColonExt(0x0001), ColonData(0x80, {2}), ColonEnd()}));
    EXPECT_EQ(updater.Error(), _fue_none);
    EXPECT_EQ(
        observer.Notes(),
        (std::vector<TNote>{{_fue_none, 0}, {_fue_none, 0}, {_fue_none, 0}, {_fue_none, 100}}));
}

// --- reset -----------------------------------------------------------------------------------

TEST_F(UpdaterTest, BoardThatNeverAnswersTheResetGetsTwoResetFramesThenError5) {
    AnswerCode(Cmd::FwReset, [](int) { return std::vector<TAnswer>{}; });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.Error(), _fue_reset_error);
    EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("Reset frame error!"));
    const std::vector<TSentFrame> sent = board->Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].frame, Expected(1, Cmd::FwReset));
    EXPECT_EQ(sent[1].frame, Expected(1, Cmd::FwReset));
    EXPECT_GE(sent[1].atMs - sent[0].atMs, 700u);
    EXPECT_EQ(observer.Errors(),
              (std::vector<TFirmwareUpdaterErrors>{_fue_reset_error, _fue_none, _fue_reset_error}));
}

TEST_F(UpdaterTest, AnswerInsideTheResetPauseIsDiscarded) {
    // Answered only at once: both attempts miss.
    AnswerCode(Cmd::FwReset, [](int) { return std::vector<TAnswer>{{100, 254}}; });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.Error(), _fue_reset_error);
    EXPECT_EQ(board->Codes(), (Codes{Cmd::FwReset, Cmd::FwReset}));
}

TEST_F(UpdaterTest, SecondResetAttemptCanSucceed) {
    AnswerCode(Cmd::FwReset, [](int n) {
        return n == 0 ? std::vector<TAnswer>{{199, 254}} : std::vector<TAnswer>{{201, 254}};
    });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.Error(), _fue_none);
    EXPECT_EQ(updater.ProgrammingState(), 100);
    const std::vector<TFirmwareUpdaterErrors> errors = observer.Errors();
    ASSERT_GE(errors.size(), 2u);
    EXPECT_EQ(errors[0], _fue_reset_error);
    EXPECT_EQ(errors[1], _fue_none);
}

TEST_F(UpdaterTest, OtherCodesDoNotEndAWait) {
    // Wrong answers first, then the right one within the time.
    AnswerCode(Cmd::FwReset, [](int) {
        return std::vector<TAnswer>{{210, 253}, {220, 250}, {690, 254}};
    });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.Error(), _fue_none);
    EXPECT_EQ(board->Codes().front(), Cmd::FwReset);
    EXPECT_EQ(board->Codes()[1], Cmd::FwSwitchToProgramming);
}

TEST_F(UpdaterTest, SecondControllerModelTransmitsNothingForTheLaserHead) {
    connection.Disconnect();
    Connect("TMVK v2 bench");
    updater.SetDevId(BoardLaserHead);
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.Error(), _fue_reset_error);
    EXPECT_TRUE(board->Sent().empty());
}

// --- the steps after the reset ---------------------------------------------------------------

TEST_F(UpdaterTest, UnansweredSwitchEndsTheRun) {
    AnswerCode(Cmd::FwSwitchToProgramming, [](int) { return std::vector<TAnswer>{}; });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("Switch to programming frame error!"));
    EXPECT_EQ(board->Codes(), (Codes{Cmd::FwReset, Cmd::FwSwitchToProgramming}));
    EXPECT_EQ(observer.Errors(), std::vector<TFirmwareUpdaterErrors>{_fue_switch_to_programming});
}

TEST_F(UpdaterTest, EraseMayTakeUpToTenSeconds) {
    AnswerCode(Cmd::FwErase, [](int) { return std::vector<TAnswer>{{9000, Cmd::FwErase}}; });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.Error(), _fue_none);

    AnswerCode(Cmd::FwErase, [](int) { return std::vector<TAnswer>{{10001, Cmd::FwErase}}; });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("Erasing memory timeout!"));
    EXPECT_EQ(board->Codes().back(), Cmd::FwErase);
}

TEST_F(UpdaterTest, UnansweredAddressFinishesTheBlockThenStops) {
    AnswerCode(Cmd::FwAddress, [](int) { return std::vector<TAnswer>{}; });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("Programming timeout!"));
    EXPECT_EQ(AfterErase().size(), 4u); // the first block's address and its three data frames
}

TEST_F(UpdaterTest, BadStatusNibbleEndsTheRunAfterThatFrame) {
    AnswerCode(Cmd::FwData, [](int n) {
        return std::vector<TAnswer>{{2, Cmd::FwData, uint8_t(n == 1 ? 0x53 : 0x50)}};
    });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("Programming error!"));
    EXPECT_EQ(updater.Status(), 3);
    EXPECT_EQ(board->Codes(), (Codes{Cmd::FwReset, Cmd::FwSwitchToProgramming, Cmd::FwErase,
                                     Cmd::FwAddress, Cmd::FwData, Cmd::FwData}));
    // The last progress shown is the one before the bad frame; 100 never comes.
    EXPECT_EQ(observer.Notes().back(), (TNote{_fue_programming_error, 800 / 17}));
}

TEST_F(UpdaterTest, DataFrameAnsweredOnlyOnItsSecondSendingFinishesTheBlockThenStops) {
    AnswerCode(Cmd::FwData, [](int n) {
        return n == 0 ? std::vector<TAnswer>{} : std::vector<TAnswer>{{2, Cmd::FwData}};
    });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("Programming timeout!"));
    const std::vector<TFrame> frames = AfterErase();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[1], frames[2]); // the same frame again
    EXPECT_EQ(frames[4][1], Cmd::FwData);
    EXPECT_NE(updater.ProgrammingState(), 100);
}

TEST_F(UpdaterTest, ThreeMissedDataAnswersAreAProgrammingError) {
    AnswerCode(Cmd::FwData, [](int) { return std::vector<TAnswer>{}; });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("Programming error!"));
    EXPECT_EQ(updater.Status(), 1);
    const std::vector<TFrame> frames = AfterErase();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1], frames[2]);
    EXPECT_EQ(frames[2], frames[3]);
    EXPECT_EQ(observer.Errors(), (std::vector<TFirmwareUpdaterErrors>{
                                     _fue_none, _fue_programming_timeout, _fue_programming_timeout,
                                     _fue_programming_timeout, _fue_programming_error}));
}

TEST_F(UpdaterTest, UnansweredTransferCompletedSkipsTheFinish) {
    AnswerCode(Cmd::FwTransferCompleted, [](int) { return std::vector<TAnswer>{}; });
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("Transfer completed frame error!"));
    EXPECT_EQ(board->Codes().back(), Cmd::FwTransferCompleted);
    EXPECT_NE(updater.ProgrammingState(), 100);
}

// --- files -----------------------------------------------------------------------------------

TEST_F(UpdaterTest, BadFileIsAFileErrorAndNothingIsSent) {
    updater.Update(dir.Write("bad.hex", {ColonData(0, Range(4))})); // no end record
    EXPECT_EQ(updater.GetErrorAsString(), QStringLiteral("File error!"));
    EXPECT_EQ(observer.Errors(), std::vector<TFirmwareUpdaterErrors>{_fue_readfile});
    updater.Update(dir.Path("missing.x00"));
    EXPECT_EQ(updater.Error(), _fue_readfile);
    updater.Update(dir.Write("lead.x01", {"junk"}));
    EXPECT_EQ(updater.Error(), _fue_readfile);
    EXPECT_TRUE(board->Sent().empty());
}

TEST_F(UpdaterTest, ImageInAnotherAddressUnitThanTheBoardsIsAFileErrorAndNothingIsSent) {
    // The microcontroller boards count bytes: a word-addressed image would land elsewhere.
    for (int32_t target : {BoardController, BoardLaserHead}) {
        updater.SetDevId(target);
        updater.Update(dir.Write("dsp.x00", {PercentData(0x10, Range(8)), PercentEnd()}));
        EXPECT_EQ(updater.Error(), _fue_readfile) << target;
    }
    EXPECT_TRUE(board->Sent().empty());
}

TEST_F(UpdaterTest, FileNoParserTakesIsAFileErrorAndSendsNothing) {
    AnswerCode(Cmd::FwReset, [](int) { return std::vector<TAnswer>{}; });
    updater.Update(TwoBlockImage());
    ASSERT_EQ(updater.Error(), _fue_reset_error);
    observer.Clear();
    const size_t sentBefore = board->Sent().size();
    updater.Update(dir.Write("freq.xxx", {ColonData(0, Range(4)), ColonEnd()}));
    EXPECT_EQ(updater.Error(), _fue_readfile);
    EXPECT_FALSE(observer.Notes().empty());
    EXPECT_EQ(board->Sent().size(), sentBefore);
}

TEST(FirmwareErrorTexts, EveryCodeHasItsText) {
    const std::vector<std::pair<TFirmwareUpdaterErrors, const char*>> table = {
        {_fue_none, ""},
        {_fue_readfile, "File error!"},
        {_fue_erasing_timeout, "Erasing memory timeout!"},
        {_fue_programming_timeout, "Programming timeout!"},
        {_fue_programming_error, "Programming error!"},
        {_fue_reset_error, "Reset frame error!"},
        {_fue_switch_to_programming, "Switch to programming frame error!"},
        {_fue_transfer_completed, "Transfer completed frame error!"},
        {_fue_undefined, "Undefined error!"},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(FirmwareUpdaterErrorText(code), QString::fromLatin1(text)) << int(code);
}

TEST_F(UpdaterTest, UpdateDuringARunIsRefused) {
    // An observer that starts another run from inside a notification, as a window handling
    // its events during a wait could.
    struct TReentrant : TObserver {
        TFirmwareUpdater* updater;
        QString path;
        int calls = 0;
        void Notify(TSubject*) override {
            if (calls++ == 0)
                updater->Update(path);
        }
    } reentrant;
    reentrant.updater = &updater;
    reentrant.path = TwoBlockImage();
    updater.AddObserver(&reentrant);
    updater.Update(TwoBlockImage());
    updater.RemoveObserver(&reentrant);
    EXPECT_EQ(updater.Error(), _fue_none);
    EXPECT_EQ(updater.ProgrammingState(), 100);
    const Codes codes = board->Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), Cmd::FwReset), 1);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), Cmd::FwErase), 1);
}

// --- threads ---------------------------------------------------------------------------------

namespace {
// The boot loader's clock, held at the first pause until the test opens it.
class TGatedClock : public TFirmwareClock {
public:
    explicit TGatedClock(std::shared_ptr<TFirmwareClock> inner) : FInner(std::move(inner)) {}
    void Open() { FOpen.set_value(); }
    uint64_t NowMs() override { return FInner->NowMs(); }
    void Sleep(uint32_t ms) override {
        FGate.wait();
        FInner->Sleep(ms);
    }
    void WaitUntil(std::condition_variable& cond, std::unique_lock<std::mutex>& lock,
                   uint64_t deadlineMs) override {
        FInner->WaitUntil(cond, lock, deadlineMs);
    }

private:
    std::shared_ptr<TFirmwareClock> FInner;
    std::promise<void> FOpen;
    std::shared_future<void> FGate = FOpen.get_future().share();
};
} // namespace

TEST_F(UpdaterTest, ThreadedRunsEndWithTheirCallbackOnTheWorker) {
    auto gated = std::make_shared<TGatedClock>(board);
    updater.SetClock(gated);
    std::atomic<int> finished{0};
    std::atomic<bool> onWorker{true};
    const auto done = [&] {
        onWorker = onWorker && QThread::currentThread() != QCoreApplication::instance()->thread();
        EXPECT_FALSE(updater.IsRunning());
        ++finished;
    };
    const QString image = TwoBlockImage();
    updater.RunThreadedUpdate(image, done);
    EXPECT_TRUE(updater.IsRunning()); // from the start, the worker's pause included
    gated->Open();
    // A second run first waits for the first one to end.
    updater.RunThreadedUpdate(image, done);
    EXPECT_GE(finished.load(), 1);
    updater.RunThreadedUpdate(QStringLiteral("nothing.xxx"), done);
    while (finished.load() < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(onWorker.load());
    EXPECT_FALSE(updater.IsRunning());
    EXPECT_EQ(updater.Error(), _fue_readfile);
    const Codes codes = board->Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), Cmd::FwFinish), 2);
}

TEST_F(UpdaterTest, FreeingTheUpdaterWaitsForItsRunAndLeavesNoSink) {
    std::atomic<bool> finished{false};
    {
        TFirmwareUpdater other;
        EXPECT_EQ(FirmwareAckSink.load(), &other);
        other.SetClock(board);
        other.SetDevId(BoardController);
        other.RunThreadedUpdate(TwoBlockImage(), [&] { finished = true; });
    }
    EXPECT_TRUE(finished.load());
    EXPECT_EQ(fake.Written(),
              QByteArray(reinterpret_cast<const char*>(Expected(1, Cmd::FwFinish).data()), 12));
    EXPECT_EQ(FirmwareAckSink.load(), nullptr);
}

TEST_F(UpdaterTest, RealClockRunOnAWorkerWithAcknowledgementsFromAnotherThread) {
    updater.SetClock(std::make_shared<TSteadyFirmwareClock>());
    std::atomic<bool> stop{false};
    // Answers each frame as soon as it is written; the reset only after the discard pause.
    std::thread receiver([&] {
        while (!stop.load()) {
            for (const uint8_t code : fake.TakeCodes()) {
                if (code == Cmd::FwReset) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    DeliverFirmwareAck(TFirmwareUpdater::ResetAnswer, 0);
                } else if (code != Cmd::FwFinish) {
                    DeliverFirmwareAck(code, 0);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::atomic<bool> finished{false};
    updater.RunThreadedUpdate(TwoBlockImage(), [&] { finished = true; });
    while (!finished.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    receiver.join();
    EXPECT_EQ(updater.Error(), _fue_none);
    EXPECT_EQ(updater.ProgrammingState(), 100);
    EXPECT_EQ(observer.Notes().back(), (TNote{_fue_none, 100}));
}

TEST_F(UpdaterTest, RunOnTheMainThreadKeepsItsEventLoopRunning) {
    updater.SetClock(std::make_shared<TSteadyFirmwareClock>());
    // The board's answers come from a timer of the main thread: the run can only succeed if
    // its waits let the timer fire.
    uint8_t last = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (const uint8_t code : fake.TakeCodes()) {
            last = code;
            if (last != Cmd::FwReset && last != Cmd::FwFinish)
                DeliverFirmwareAck(last, 0);
        }
        // The reset is answered again and again until the next frame shows it was heard.
        if (last == Cmd::FwReset)
            DeliverFirmwareAck(TFirmwareUpdater::ResetAnswer, 0);
    });
    timer.start(1);
    updater.Update(TwoBlockImage());
    EXPECT_EQ(updater.Error(), _fue_none);
    EXPECT_EQ(updater.ProgrammingState(), 100);
}

// --- ownership -------------------------------------------------------------------------------

TEST(FirmwareUpdaterOwnership, TheApplicationManagerCreatesAndFreesTheOneUpdater) {
    TApplicationManager::SetInstanceCheck([] { return true; });
    {
        TApplicationManager manager;
        ASSERT_NE(FirmwareUpdater, nullptr);
        // The receive thread's acknowledgements reach it.
        EXPECT_EQ(FirmwareAckSink.load(), FirmwareUpdater);
        FirmwareUpdater->SetDevId(BoardDSP);
        EXPECT_EQ(FirmwareAckSink.load()->devId(), BoardDSP);
        EXPECT_EQ(FirmwareUpdater->Error(), _fue_none);
        EXPECT_EQ(FirmwareUpdater->ProgrammingState(), 0);
    }
    EXPECT_EQ(FirmwareUpdater, nullptr);
    EXPECT_EQ(FirmwareAckSink.load(), nullptr);
}
