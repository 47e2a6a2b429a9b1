#pragma once
// Draws the rows of PeakListBox: the locked peak in bold, the operator's selection on silver.

#include <QStyledItemDelegate>

#include <functional>

class TPeakListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // lockedRow and selectedRow report the list rows to mark (any value off the list: none).
    TPeakListDelegate(std::function<int()> lockedRow, std::function<int()> selectedRow,
                      int rowHeight, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static const QColor SelectedRowColor; // silver

private:
    std::function<int()> FLockedRow;
    std::function<int()> FSelectedRow;
    int FRowHeight;
};
