#pragma once
// The rows of the frame monitor: frame-log entries, formatted only when a row is painted, so
// the list keeps up with the link at full line rate.

#include "protocol/FrameLogUnit.h"

#include <QAbstractTableModel>

#include <deque>
#include <vector>

class QTableView;

class TFrameLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { ColTime, ColDir, ColAddr, ColCode, ColCommand, ColSum, ColData };
    static constexpr int ColumnCount = ColData + 1;
    // Rows kept; the oldest go first.
    static constexpr size_t DefaultRowLimit = 5000;

    explicit TFrameLogModel(QObject* parent = nullptr, size_t rowLimit = DefaultRowLimit);

    // Appends entries (oldest first) and drops the oldest rows beyond the limit.
    void Append(const std::vector<TFrameLogEntry>& entries);
    void Clear();
    const TFrameLogEntry& Entry(int row) const { return FRows[static_cast<size_t>(row)]; }
    // Frames shown since the last Clear, and how many of them failed their checksum; frames the
    // log dropped before the list took them (the list lagged more than the log holds).
    uint64_t Shown() const { return FShown; }
    uint64_t Bad() const { return FBad; }
    uint64_t Missed() const { return FMissed; }

    // The texts of one cell, as shown.
    static QString CellText(const TFrameLogEntry& entry, int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Monospace font, fixed row height and column widths for view (no measuring per row).
    static void SetUpView(QTableView* view);

private:
    std::deque<TFrameLogEntry> FRows;
    size_t FRowLimit;
    uint64_t FShown = 0;
    uint64_t FBad = 0;
    uint64_t FMissed = 0;
    bool FHaveLast = false;
    uint64_t FLastSeq = 0;
};
