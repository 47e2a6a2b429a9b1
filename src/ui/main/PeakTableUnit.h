#pragma once
// The fourteen iodine absorption peaks a to n, their frequencies, and the texts and choices the
// operator window derives from them. No widget is involved: the window only shows the results.

#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// One iodine peak. Value is the peak's current frequency in MHz.
class TPeak {
public:
    TPeak(const QString& AName, double ABaseValue, double AOffset, uint32_t AFlag);

    // Value := BaseValue + Offset + avalue (MHz). Replaces an earlier shift, never accumulates.
    void ChangeOffset(double avalue);

    QString Name;
    double BaseValue;
    double Value;
    double Offset;
    uint32_t Flag;
};

// Frequency of component f, the reference of every peak's offset (MHz).
inline constexpr double PeakBaseValue = 473612353.597;
inline constexpr int PeakCount = 14;
inline constexpr int PeakIndexF = 5; // table index of peak f (number 6)
inline constexpr int PeakIndexJ = 9; // table index of peak j (number 10)

// The owning peak table. Table index i has Flag 2^i; its number on the wire is i + 1.
class TPeakList {
public:
    TPeakList() = default;
    TPeakList(const TPeakList&) = delete;
    TPeakList& operator=(const TPeakList&) = delete;

    // Fills the table with the fourteen peaks a..n (replaces what was there).
    void CreatePeakList();

    int Count() const { return static_cast<int>(FPeaks.size()); }
    const TPeak& operator[](int index) const { return *FPeaks.at(static_cast<size_t>(index)); }
    TPeak& operator[](int index) { return *FPeaks.at(static_cast<size_t>(index)); }

    // Shifts every peak by the controller's f offset (kHz).
    void ChangePeakOffset(int offsetKHz);

    // Name of peak number id (1-based), "--" when id is not a peak number.
    QString PeakNameByNumber(int64_t id) const;

    // Row texts of the peak list for the table indices first..last with table index reference
    // as the reference: "name -> number", the reference with its absolute frequency, every
    // other row with its distance from the reference (MHz, three decimals).
    QStringList PeakListTexts(int first, int last, int reference, const QLocale& locale) const;

    // Expected-peaks mask covering the table indices from the smaller to the larger of a and b.
    uint32_t MaskOfRange(int a, int b) const;

private:
    std::vector<std::unique_ptr<TPeak>> FPeaks;
};

// The first and last table index whose flag the mask holds; both -1 when it holds none.
struct TPeakRange {
    int First = -1;
    int Last = -1;
    bool Valid() const { return First >= 0 && Last >= First; }
};
TPeakRange ExpectedPeakRange(uint32_t mask, int peakCount = PeakCount);

// The peak numbers (1-based) offered by the two buttons of the simple page.
struct TSimpleMenuPeaks {
    int First = -1;
    int Second = -1;
};
TSimpleMenuPeaks SimpleMenuPeaks(int firstIndex, int lastIndex);

// A frequency in fixed notation with the locale's decimal separator and no digit grouping.
QString FixedText(double value, int decimals, const QLocale& locale);
