#pragma once
// The pictures of the operator window, painted here: one per peak number 1 to 10 for the two
// buttons of the simple page, and the maker's logo.

#include <QPixmap>
#include <QSize>

inline constexpr int SimpleButtonPictureCount = 10;

// The picture of peak number peakNumber (1 = a ... 10 = j); a null pixmap for any other number.
QPixmap SimpleButtonPicture(int peakNumber, const QSize& size);

// The maker's logo.
QPixmap LogoPicture(const QSize& size);
