#include "stability/StabilityFileUnit.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

const char* const RecordingHeader =
    "kind,time_utc,beat_hz,reports,power,tuning_status,locked_peak,laser_head_state,cft_c,event";

const char* const BinIntervalsText =
    "bins of tau0 = 1 s on the UTC clock; each bin is the mean of the frequency board's reports "
    "that arrived within that second; a second without a report, or one in which the iodine "
    "laser was not locked on the same peak at the same set point for the whole second, is a "
    "skipped bin";

QString RecordHeaderText(const TRecordHeader& h) {
    auto line = [](const char* key, const QString& value) {
        return QStringLiteral("# %1: %2\n").arg(QLatin1String(key), value);
    };
    return QStringLiteral("# %1\n").arg(h.Title) + line("start_utc", h.StartUtc) +
           line("end_utc", h.EndUtc) +
           line("tau0_s", QString::number(h.Tau0, 'g', QLocale::FloatingPointShortest)) +
           line("peak", h.Peak) + line("set_point", h.SetPoint) +
           line("skipped_bins", h.SkippedBins) +
           line("intervals", QString::fromLatin1(BinIntervalsText));
}

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// A gap longer than this in one file is taken for a broken time stamp, not for missing bins.
constexpr int64_t MaxGapSamples = 100'000'000;

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseDouble(std::string_view s, double* v) {
    s = Trimmed(s);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return false;
    }
    const auto r = std::from_chars(s.data(), s.data() + s.size(), *v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseInt(std::string_view s, int64_t* v) {
    s = Trimmed(s);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return false;
    }
    const auto r = std::from_chars(s.data(), s.data() + s.size(), *v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

QString Shown(std::string_view s) {
    QString t = QString::fromUtf8(s.data(), static_cast<qsizetype>(std::min<size_t>(s.size(), 60)));
    return QStringLiteral("'") + t + QStringLiteral("'");
}

// Splits the first fields of a CSV row (no quoted field before the ones asked for).
int SplitFields(std::string_view line, std::string_view* fields, int max) {
    int n = 0;
    while (n < max) {
        const size_t comma = line.find(',');
        fields[n++] = line.substr(0, comma);
        if (comma == std::string_view::npos) {
            break;
        }
        line.remove_prefix(comma + 1);
    }
    return n;
}

class TBinFiller {
public:
    TBinFiller(std::vector<double>* y) : FY(y) {}
    // Adds value v to the bin with index k (k never below the current bin).
    void Add(int64_t k, double v) {
        if (FOpen && k == FBin) {
            FSum += v;
            ++FCount;
            return;
        }
        Close();
        if (FHasLast) {
            FY->insert(FY->end(), static_cast<size_t>(k - FLast - 1), NaN);
        }
        FBin = k;
        FOpen = true;
        FSum = v;
        FCount = 1;
    }
    void Close() {
        if (FOpen) {
            FY->push_back(FSum / FCount);
            FLast = FBin;
            FHasLast = true;
            FOpen = false;
        }
    }
    int64_t LastBin() const { return FOpen ? FBin : FLast; }
    bool Any() const { return FOpen || FHasLast; }

private:
    std::vector<double>* FY;
    bool FOpen = false, FHasLast = false;
    int64_t FBin = 0, FLast = 0;
    double FSum = 0;
    int FCount = 0;
};

} // namespace

QString StabilityFileKindName(TStabilityFileKind kind) {
    switch (kind) {
    case TStabilityFileKind::_recording:
        return QStringLiteral("recording");
    case TStabilityFileKind::_freqdiff_log:
        return QStringLiteral("frequency-difference log");
    case TStabilityFileKind::_fractional:
        return QStringLiteral("fractional frequency");
    }
    return {};
}

bool ParseStabilityText(const QByteArray& text, const QString& name, double tau0, double nuHz,
                        TStabilityFileData* data, QString* error) {
    *data = TStabilityFileData();
    data->Tau0 = tau0;
    TBinFiller filler(&data->Y);
    bool lastLineCut = false; // the final line has no line end: a write cut short
    auto fail = [&](int64_t line, const QString& reason) {
        if (lastLineCut) {
            // the row being written when the program or the disk stopped: dropped
            filler.Close();
            data->Lines = line;
            return true;
        }
        if (error) {
            *error = QStringLiteral("%1:%2: %3").arg(name).arg(line).arg(reason);
        }
        return false;
    };
    if (!(tau0 > 0) || !std::isfinite(tau0)) {
        return fail(0, QStringLiteral("tau0 must be a positive number of seconds"));
    }
    if (!(nuHz > 0)) {
        return fail(0, QStringLiteral("the optical frequency must be positive"));
    }
    const std::string_view all(text.constData(), static_cast<size_t>(text.size()));
    bool kindKnown = false;
    int64_t lastMs = std::numeric_limits<int64_t>::min();
    size_t pos = 0;
    int64_t lineNo = 0;
    while (pos < all.size()) {
        size_t end = all.find('\n', pos);
        if (end == std::string_view::npos) {
            end = all.size();
        }
        const std::string_view line = Trimmed(all.substr(pos, end - pos));
        lastLineCut = end == all.size();
        pos = end + 1;
        ++lineNo;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (!kindKnown) {
            kindKnown = true;
            if (line.substr(0, 5) == "kind,") {
                data->Kind = TStabilityFileKind::_recording;
                data->Tau0 = 1;
                continue;
            }
            data->Kind = line.find(';') != std::string_view::npos
                             ? TStabilityFileKind::_freqdiff_log
                             : TStabilityFileKind::_fractional;
        }
        switch (data->Kind) {
        case TStabilityFileKind::_fractional: {
            double v = 0;
            if (line == "nan" || line == "NaN" || line == "NAN") {
                data->Y.push_back(NaN);
            } else if (ParseDouble(line, &v) && std::isfinite(v)) {
                data->Y.push_back(v);
            } else {
                return fail(
                    lineNo,
                    QStringLiteral("not a fractional-frequency value: %1").arg(Shown(line)));
            }
            break;
        }
        case TStabilityFileKind::_freqdiff_log: {
            const size_t semi = line.find(';');
            int64_t ms = 0, khz = 0;
            if (semi == std::string_view::npos || !ParseInt(line.substr(0, semi), &ms) ||
                !ParseInt(line.substr(semi + 1), &khz)) {
                return fail(lineNo, QStringLiteral("not a line \"ms;kHz\": %1").arg(Shown(line)));
            }
            if (ms < lastMs) {
                return fail(lineNo, QStringLiteral("elapsed time goes back (%1 ms after %2 ms)")
                                        .arg(ms)
                                        .arg(lastMs));
            }
            lastMs = ms;
            const int64_t k =
                static_cast<int64_t>(std::floor(static_cast<double>(ms) / (1000.0 * tau0)));
            if (filler.Any() && k - filler.LastBin() > MaxGapSamples) {
                return fail(lineNo, QStringLiteral("elapsed time jumps too far"));
            }
            filler.Add(k, static_cast<double>(khz) * 1000.0 / nuHz);
            break;
        }
        case TStabilityFileKind::_recording: {
            if (lastLineCut) {
                break; // the program ends every row: this one was cut short
            }
            std::string_view f[4];
            const int n = SplitFields(line, f, 4);
            if (n >= 1 && f[0] == "event") {
                break;
            }
            double hz = 0;
            if (n < 3 || f[0] != "bin") {
                return fail(lineNo, QStringLiteral("not a recording row: %1").arg(Shown(line)));
            }
            const QDateTime t = QDateTime::fromString(
                QString::fromLatin1(f[1].data(), static_cast<qsizetype>(f[1].size())),
                Qt::ISODateWithMs);
            if (!t.isValid()) {
                return fail(lineNo, QStringLiteral("not an ISO 8601 time: %1").arg(Shown(f[1])));
            }
            if (!ParseDouble(f[2], &hz) || !std::isfinite(hz)) {
                return fail(lineNo,
                            QStringLiteral("not a beat frequency in Hz: %1").arg(Shown(f[2])));
            }
            const int64_t k = t.toSecsSinceEpoch();
            if (filler.Any() && k <= filler.LastBin()) {
                return fail(lineNo, QStringLiteral("time does not advance"));
            }
            if (filler.Any() && k - filler.LastBin() > MaxGapSamples) {
                return fail(lineNo, QStringLiteral("time jumps too far"));
            }
            filler.Add(k, hz / nuHz);
            break;
        }
        }
    }
    filler.Close();
    data->Lines = lineNo;
    return true;
}

bool ReadStabilityFile(const QString& fileName, double tau0, double nuHz, TStabilityFileData* data,
                       QString* error) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(fileName, file.errorString());
        }
        return false;
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(fileName, file.errorString());
        }
        return false;
    }
    return ParseStabilityText(text, fileName, tau0, nuHz, data, error);
}
