// The link's health decisions and the event record: silence and its end, which listed device is
// the lost one, lock reached and lost, the saved list.
#include "monitor/LinkEventsUnit.h"
#include "monitor/LinkHealthUnit.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(SilenceWatch, SilentAfterTheNamedTimeWithoutFramesAndBackWithTheNextFrame) {
    TSilenceWatch w;
    w.Start(1000, 50);
    EXPECT_EQ(w.Tick(1000 + SilentAfterMs - 1, 50), TSilenceWatch::_none);
    EXPECT_EQ(w.Tick(1000 + SilentAfterMs, 50), TSilenceWatch::_silent);
    EXPECT_TRUE(w.Silent());
    EXPECT_EQ(w.Tick(1000 + 5 * SilentAfterMs, 50), TSilenceWatch::_none); // told once
    EXPECT_EQ(w.Tick(1000 + 5 * SilentAfterMs + 1, 51), TSilenceWatch::_back);
    EXPECT_FALSE(w.Silent());
    // Frames keep arriving: never silent, however long.
    for (int64_t t = 0; t < 10 * SilentAfterMs; t += SilenceCheckMs)
        EXPECT_EQ(w.Tick(20000 + t, 52 + static_cast<uint64_t>(t)), TSilenceWatch::_none);
    // A new link starts a new measure.
    w.Start(100000, 0);
    EXPECT_EQ(w.Tick(100000 + SilentAfterMs - 1, 0), TSilenceWatch::_none);
}

namespace {
TDevicesIDList List(std::initializer_list<TDeviceID> devices) {
    TDevicesIDList list;
    list.assign(devices.begin(), devices.end());
    return list;
}
} // namespace

TEST(FindLostDevice, OnlyTheOneEntryWithTheSameDescriptionAndKind) {
    const TDeviceID ours(_usb, QStringLiteral("QRX-7A one"), 111111, {}, {});
    const TDeviceID other(_usb, QStringLiteral("TMVK v2 two"), 222222, {}, {});
    const TDeviceID otherKind(_usb, QStringLiteral("QRX-7A one"), 222222, {}, {});
    struct Case {
        const char* what;
        TDevicesIDList listed;
        bool found;
    };
    const Case cases[] = {
        {"not listed", List({}), false},
        {"only others", List({other}), false},
        {"listed with others", List({other, ours}), true},
        {"listed twice", List({ours, ours}), false},
        {"same name, other kind", List({otherKind}), false},
        {"same name twice, kinds differ", List({ours, otherKind}), false},
    };
    for (const Case& c : cases) {
        const auto found = FindLostDevice(c.listed, QStringLiteral("QRX-7A one"), 111111);
        EXPECT_EQ(found.has_value(), c.found) << c.what;
        if (found) {
            EXPECT_EQ(found->fullName(), QStringLiteral("QRX-7A one"));
            EXPECT_EQ(found->serialNumber(), 111111);
        }
    }
    EXPECT_FALSE(FindLostDevice(List({ours}), QString(), 111111)); // nothing was connected
}

TEST(LinkEvents, LockReachedAndLostFollowTheTuningStatus) {
    TLinkEvents events;
    QDateTime now =
        QDateTime::fromString(QStringLiteral("2026-12-09T03:45:59.123Z"), Qt::ISODateWithMs);
    events.SetClock([&] { return now; });
    int told = 0;
    QObject::connect(&events, &TLinkEvents::EventAdded, [&](const TLinkEvent&) { ++told; });
    const int statuses[] = {0, 1, 2, 3, 3, 3, 4, 2, 3, 14, 3};
    for (int s : statuses)
        events.TuningStatus(s, true);
    events.TuningStatus(0, false); // the laser is off: no loss counted
    std::vector<TLinkEventKind> kinds;
    for (const TLinkEvent& e : events.Events())
        kinds.push_back(e.Kind);
    EXPECT_EQ(kinds, (std::vector<TLinkEventKind>{
                         TLinkEventKind::_lock_reached, TLinkEventKind::_lock_lost,
                         TLinkEventKind::_lock_reached, TLinkEventKind::_lock_lost,
                         TLinkEventKind::_lock_reached}));
    EXPECT_EQ(events.LockLossCount(), 2);
    EXPECT_EQ(told, 5);
    EXPECT_EQ(events.Events()[1].ToLine(),
              QStringLiteral("2026-12-09T03:45:59.123Z lock lost (status 4)"));
}

TEST(LinkEvents, SavedOnePerLineTimeFirst) {
    TLinkEvents events;
    events.SetClock([] {
        return QDateTime::fromString(QStringLiteral("2026-12-09T10:00:00.007+02:00"),
                                     Qt::ISODateWithMs);
    });
    events.Add(TLinkEventKind::_link_lost, QStringLiteral("link lost"));
    events.Add(TLinkEventKind::_link_restored, QStringLiteral("link restored"));
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("events.txt"));
    ASSERT_TRUE(events.SaveToFile(name));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("2026-12-09T08:00:00.007Z link lost\n"
                                         "2026-12-09T08:00:00.007Z link restored\n"));
    QString error;
    EXPECT_FALSE(events.SaveToFile(dir.filePath(QStringLiteral("no/such/dir/e.txt")), &error));
    EXPECT_FALSE(error.isEmpty());
}
