#include "ui/service/FrameMonitorUnit.h"

#include "protocol/CommandNameUnit.h"

#include <QBrush>
#include <QColor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>

namespace {

const QColor SentColor{0x1F, 0x3F, 0x9F}; // frames the program wrote
const QColor BadColor{0xB0, 0x00, 0x00};  // checksum failed
const QColor BadBackground{0xFF, 0xE4, 0xE4};

QString Hex2(uint8_t b) {
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

// Widest text of each column, in characters of the monospace font.
constexpr int ColumnChars[TFrameLogModel::ColumnCount] = {9, 2, 4, 6, 15, 6, 23};

} // namespace

TFrameLogModel::TFrameLogModel(QObject* parent, size_t rowLimit)
    : QAbstractTableModel(parent), FRowLimit(std::max<size_t>(rowLimit, 1)) {}

void TFrameLogModel::Append(const std::vector<TFrameLogEntry>& entries) {
    if (entries.empty())
        return;
    for (const TFrameLogEntry& e : entries) {
        if (FHaveLast && e.Seq > FLastSeq + 1)
            FMissed += e.Seq - FLastSeq - 1;
        FHaveLast = true;
        FLastSeq = e.Seq;
        ++FShown;
        if (!e.ChecksumOk)
            ++FBad;
    }
    // Only what the list can hold, then make room for it.
    const size_t take = std::min(entries.size(), FRowLimit);
    const size_t excess = FRows.size() + take > FRowLimit ? FRows.size() + take - FRowLimit : 0;
    if (excess > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(excess) - 1);
        FRows.erase(FRows.begin(), FRows.begin() + static_cast<std::ptrdiff_t>(excess));
        endRemoveRows();
    }
    const int first = static_cast<int>(FRows.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(take) - 1);
    FRows.insert(FRows.end(), entries.end() - static_cast<std::ptrdiff_t>(take), entries.end());
    endInsertRows();
}

void TFrameLogModel::Clear() {
    beginResetModel();
    FRows.clear();
    FShown = 0;
    FBad = 0;
    FMissed = 0;
    FHaveLast = false;
    endResetModel();
}

QString TFrameLogModel::CellText(const TFrameLogEntry& e, int column) {
    switch (column) {
    case ColTime:
        return FrameTimeText(e.TimeUs).mid(3); // minutes on; the hour is in the tool tip
    case ColDir:
        return FrameDirectionText(e.Direction);
    case ColAddr:
        return Hex2(e.Address());
    case ColCode:
        return Hex2(e.Code()) + QLatin1Char(' ') + QString::number(e.Code()); // hex, then decimal
    case ColCommand:
        return FrameName(e.Bytes.data());
    case ColData:
        return FrameDataText(e.Bytes);
    case ColSum:
        return Hex2(e.Checksum()) + (e.ChecksumOk ? QStringLiteral(" ok") : QStringLiteral(" BAD"));
    default:
        return {};
    }
}

int TFrameLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TFrameLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TFrameLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TFrameLogEntry& e = Entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return CellText(e, index.column());
    case Qt::ForegroundRole:
        if (!e.ChecksumOk)
            return QBrush(BadColor);
        if (e.Direction == TFrameDirection::Sent)
            return QBrush(SentColor);
        return {};
    case Qt::BackgroundRole:
        return e.ChecksumOk ? QVariant() : QVariant(QBrush(BadBackground));
    case Qt::TextAlignmentRole:
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ToolTipRole: {
        QString bytes;
        for (uint8_t b : e.Bytes)
            bytes += Hex2(b) + QLatin1Char(' ');
        QString tip = QStringLiteral("#%1 %2 ").arg(e.Seq).arg(FrameTimeText(e.TimeUs)) +
                      (e.Direction == TFrameDirection::Sent ? QStringLiteral("to ")
                                                            : QStringLiteral("from ")) +
                      FrameBoardText(e) + QStringLiteral(": ") + bytes.trimmed();
        if (!e.ChecksumOk)
            tip += QStringLiteral("\nchecksum %1, the bytes give %2")
                       .arg(Hex2(e.Checksum()), Hex2(e.ExpectedChecksum()));
        return tip;
    }
    default:
        return {};
    }
}

QVariant TFrameLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[ColumnCount] = {"Time",    "",    "Addr", "Code",
                                                    "Command", "Sum", "Data"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section])
                                                 : QVariant();
}

void TFrameLogModel::SetUpView(QTableView* view) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(font.pointSizeF() * 0.9);
    view->setFont(font);
    const QFontMetrics fm(font);
    const int charWidth = fm.horizontalAdvance(QLatin1Char('0'));
    QHeaderView* h = view->horizontalHeader();
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setMinimumSectionSize(2 * charWidth);
    for (int c = 0; c < ColumnCount; ++c)
        h->resizeSection(c, ColumnChars[c] * charWidth + 7);
    h->setStretchLastSection(true);
    QHeaderView* v = view->verticalHeader();
    v->setSectionResizeMode(QHeaderView::Fixed);
    v->setDefaultSectionSize(std::max(20, fm.height() + 4));
    v->hide();
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setWordWrap(false);
    view->setTextElideMode(Qt::ElideRight);
}
