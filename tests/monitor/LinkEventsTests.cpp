#include "monitor/LinkEventsUnit.h"
#include "monitor/StatusModelUnit.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct LockCase {
    const char* name;
    std::vector<std::pair<int, bool>> reports; // status, iodine laser running
    std::vector<TLinkEventKind> expected;
    int lockLosses;
};

class LockEvents : public ::testing::TestWithParam<LockCase> {};

TEST_P(LockEvents, FollowTheTuningStatus) {
    const LockCase& c = GetParam();
    TLinkEvents events;
    std::vector<TLinkEventKind> seen;
    QObject::connect(&events, &TLinkEvents::EventAdded,
                     [&](const TLinkEvent& e) { seen.push_back(e.Kind); });
    for (auto [status, running] : c.reports)
        events.TuningStatus(status, QString(), running);
    EXPECT_EQ(seen, c.expected);
    EXPECT_EQ(events.LockLossCount(), c.lockLosses);
    EXPECT_EQ(events.Events().size(), qsizetype(c.expected.size()));
}

using K = TLinkEventKind;
INSTANTIATE_TEST_SUITE_P(
    Transitions, LockEvents,
    ::testing::Values(LockCase{"RepeatedLockedReportsCountOnce",
                               {{3, true}, {3, true}, {3, true}},
                               {K::_lock_reached},
                               0},
                      LockCase{"AnyOtherStatusAfterLockedIsALoss",
                               {{3, true}, {4, true}, {2, true}, {3, true}, {10, true}},
                               {K::_lock_reached, K::_lock_lost, K::_lock_reached, K::_lock_lost},
                               2},
                      LockCase{"LeavingLockWithTheLaserStoppedIsNoLoss",
                               {{3, true}, {14, false}},
                               {K::_lock_reached},
                               0},
                      LockCase{"NeverLockedNeverLost", {{0, true}, {2, true}, {11, true}}, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// An operator's action and the lock reports after it, on a clock the test moves.
TEST(LinkEvents, ALockEndingRightAfterAnOperatorsActionIsPutDownToIt) {
    const struct {
        const char* Name;
        bool Action; // "peak j chosen" at 0 ms
        int UnlockAtMs, Status;
        const char* StatusText;
        TLinkEventKind Kind; // a lock loss is counted for _lock_lost only
        const char* Text;
    } cases[] = {
        {"within the grace", true, 5000, 1, "tuning - start", K::_lock_released,
         "lock released (tuning - start) after peak j chosen"},
        {"after the grace", true, 5001, 4, "unlocked", K::_lock_lost, "lock lost (unlocked)"},
        {"a status without a word", false, 300, 9, "", K::_lock_lost, "lock lost (status 9)"},
    };
    const QDateTime origin(QDate(2026, 12, 9), QTime(12, 0), QTimeZone::utc());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TLinkEvents events;
        int nowMs = 0;
        events.SetClock([&] { return origin.addMSecs(nowMs); });
        events.TuningStatus(3, QStringLiteral("tuning - locked"), true, QLatin1Char('f'));
        if (c.Action)
            events.OperatorAction(QStringLiteral("peak j chosen"));
        nowMs = c.UnlockAtMs;
        events.TuningStatus(c.Status, QString::fromLatin1(c.StatusText), true);
        ASSERT_GE(events.Events().size(), 2);
        EXPECT_EQ(events.Events().front().Text, QStringLiteral("lock reached (peak f)"));
        EXPECT_EQ(events.Events().back().Kind, c.Kind);
        EXPECT_EQ(events.Events().back().Text, QString::fromLatin1(c.Text));
        EXPECT_EQ(events.LockLossCount(), c.Kind == K::_lock_lost ? 1 : 0);
    }
}

TEST(LinkEvents, LinesCarryTheUtcTimeWithMillisecondsFirst) {
    TLinkEvents events;
    // 04:45:59.007 in a zone one hour east of UTC is 03:45:59.007 UTC.
    events.SetClock(
        [] { return QDateTime(QDate(2026, 12, 9), QTime(4, 45, 59, 7), QTimeZone(3600)); });
    events.Add(TLinkEventKind::_link_lost, QStringLiteral("link lost"));
    ASSERT_EQ(events.Events().size(), 1);
    EXPECT_EQ(events.Events().front().ToLine(),
              QStringLiteral("2026-12-09T03:45:59.007Z link lost"));
}

TEST(LinkEvents, SaveWritesOneLinePerEventAndReportsAnUnwritableFile) {
    TLinkEvents events;
    events.SetClock([] { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone(0)); });
    events.Add(TLinkEventKind::_link_lost, QStringLiteral("link lost"));
    events.Add(TLinkEventKind::_link_restored, QStringLiteral("link restored"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("events.txt"));
    ASSERT_TRUE(events.SaveToFile(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)); // "\r\n" on Windows
    EXPECT_EQ(file.readAll(), QByteArray("2026-01-02T03:04:05.000Z link lost\n"
                                         "2026-01-02T03:04:05.000Z link restored\n"));

    QString error;
    EXPECT_FALSE(events.SaveToFile(dir.filePath(QStringLiteral("missing/events.txt")), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(LinkEvents, TheWindowKeepsABoundedListButSubscribersSeeEveryEvent) {
    TLinkEvents events;
    int seen = 0;
    QObject::connect(&events, &TLinkEvents::EventAdded, [&](const TLinkEvent&) { ++seen; });
    // The window keeps the newest 10,000.
    for (int i = 0; i < 10005; ++i)
        events.Add(TLinkEventKind::_data_back, QString::number(i));
    EXPECT_EQ(seen, 10005);
    EXPECT_EQ(events.Events().size(), 10000);
    EXPECT_EQ(events.Events().front().Text, QStringLiteral("5"));
}

TEST(StatusModel, ChangedOnlyWhenSomethingDiffers) {
    TStatusModel model;
    int changes = 0;
    QObject::connect(&model, &TStatusModel::Changed, [&](const TStatusSnapshot&) { ++changes; });
    TStatusSnapshot s;
    model.Update(s);
    EXPECT_EQ(changes, 0);
    s.TuningStatus = 3;
    s.LockedPeak = QLatin1Char('f');
    model.Update(s);
    model.Update(s);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(model.Snapshot().LockedPeak, QLatin1Char('f'));
}

} // namespace
