#pragma once
// The event list of the main page: the latest link and lock events with their UTC times, the
// lock-loss count since start, and 'Save' to a text file. It shows the program's TLinkEvents
// (the global LinkEvents) and owns nothing of it.

#include <QWidget>

class QFontMetrics;
class QLabel;
class QListWidget;
class QPushButton;
class TLinkEvents;
struct TLinkEvent;

class TLinkEventsView : public QWidget {
    Q_OBJECT
public:
    // How many of the latest events the list shows (the record keeps more).
    static constexpr int ShownEvents = 200;

    explicit TLinkEventsView(TLinkEvents* events, QWidget* parent = nullptr);

    // 'Save': asks for a file name (the program's save dialog) and writes every event, one per
    // line, UTC time first. A cancelled dialog writes nothing.
    void SaveEventsButtonClick();

    static QString LockLossText(int count); // "Lock losses since start: 2"
    // The main page's bottom line: the count, then the latest event in a form that fits width
    // (UTC time of day, the text without its parenthesised detail, then whole words only, "…"
    // where words were left out). The full line goes into the tooltip.
    static QString LatestEventText(int lockLosses, const TLinkEvent& event,
                                   const QFontMetrics& metrics, int width);

private:
    void EventAdded(const TLinkEvent& event);

    TLinkEvents* FEvents;
    QListWidget* FList;
    QLabel* FLockLosses;
    QLabel* FSaveResult;
    QPushButton* FSave;
};
