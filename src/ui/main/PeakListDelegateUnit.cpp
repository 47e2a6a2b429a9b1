#include "ui/main/PeakListDelegateUnit.h"

#include <QPainter>

const QColor TPeakListDelegate::SelectedRowColor(0xC0, 0xC0, 0xC0);

TPeakListDelegate::TPeakListDelegate(std::function<int()> lockedRow,
                                     std::function<int()> selectedRow, int rowHeight,
                                     QObject* parent)
    : QStyledItemDelegate(parent), FLockedRow(std::move(lockedRow)),
      FSelectedRow(std::move(selectedRow)), FRowHeight(rowHeight) {}

void TPeakListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    painter->save();
    QFont font = option.font;
    font.setBold(index.row() == FLockedRow());
    if (index.row() == FSelectedRow())
        painter->fillRect(option.rect, SelectedRowColor);
    painter->setFont(font);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize TPeakListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(FRowHeight);
    return size;
}
