#include "ui/main/PeakTableUnit.h"

#include <algorithm>

TPeak::TPeak(const QString& AName, double ABaseValue, double AOffset, uint32_t AFlag)
    : Name(AName), BaseValue(ABaseValue), Value(ABaseValue + AOffset), Offset(AOffset),
      Flag(AFlag) {}

void TPeak::ChangeOffset(double avalue) {
    Value = BaseValue + Offset + avalue;
}

void TPeakList::CreatePeakList() {
    struct TRow {
        const char* name;
        double offset;
    };
    static constexpr TRow Rows[PeakCount] = {
        {"a", 161.039},  {"b", 152.208},  {"c", 144.114},  {"d", 26.224},   {"e", 13.363},
        {"f", 0},        {"g", -13.198},  {"h", -116.953}, {"i", -138.892}, {"j", -160.461},
        {"k", -268.842}, {"l", -276.886}, {"m", -292.693}, {"n", -301.706},
    };
    FPeaks.clear();
    for (int i = 0; i < PeakCount; ++i)
        FPeaks.push_back(std::make_unique<TPeak>(QString::fromLatin1(Rows[i].name), PeakBaseValue,
                                                 Rows[i].offset, uint32_t{1} << i));
}

void TPeakList::ChangePeakOffset(int offsetKHz) {
    for (auto& peak : FPeaks)
        peak->ChangeOffset(offsetKHz / 1000.0);
}

QString TPeakList::PeakNameByNumber(int64_t id) const {
    if (id >= 1 && id <= Count())
        return (*this)[static_cast<int>(id - 1)].Name;
    return QStringLiteral("--");
}

QStringList TPeakList::PeakListTexts(int first, int last, int reference,
                                     const QLocale& locale) const {
    QStringList texts;
    if (first < 0 || last >= Count() || reference < 0 || reference >= Count())
        return texts;
    const double referenceValue = (*this)[reference].Value;
    for (int i = first; i <= last; ++i) {
        const double number = i == reference ? referenceValue : (*this)[i].Value - referenceValue;
        texts << (*this)[i].Name + QStringLiteral(" -> ") + FixedText(number, 3, locale);
    }
    return texts;
}

uint32_t TPeakList::MaskOfRange(int a, int b) const {
    const int from = std::max(0, std::min(a, b));
    const int to = std::min(Count() - 1, std::max(a, b));
    uint32_t mask = 0;
    for (int i = from; i <= to; ++i)
        mask += (*this)[i].Flag;
    return mask;
}

TPeakRange ExpectedPeakRange(uint32_t mask, int peakCount) {
    TPeakRange range;
    for (int i = 0; i < peakCount && i < 32; ++i) {
        const uint32_t flag = uint32_t{1} << i;
        if ((mask & flag) == flag) {
            range.Last = i;
            if (range.First == -1)
                range.First = i;
        }
    }
    return range;
}

TSimpleMenuPeaks SimpleMenuPeaks(int firstIndex, int lastIndex) {
    TSimpleMenuPeaks peaks;
    if (lastIndex >= PeakIndexJ) {
        peaks.First = PeakIndexF + 1;
        peaks.Second = PeakIndexJ + 1;
    } else {
        peaks.Second = PeakIndexF + 1;
        peaks.First = firstIndex <= 2 ? 3 : firstIndex == 3 ? 4 : 5;
    }
    return peaks;
}

QString FixedText(double value, int decimals, const QLocale& locale) {
    QLocale l(locale);
    l.setNumberOptions(l.numberOptions() | QLocale::OmitGroupSeparator);
    return l.toString(value, 'f', decimals);
}
