// halvane-stability: frequency-stability table of a recording, a frequency-difference log or a
// plain file of fractional frequencies (or, with --phase, of time errors in seconds; with
// --nominal, of frequencies in Hz).
//
//   halvane-stability [--tau0 SECONDS] [--taus octave|decade|all|many|LIST]
//                     [--kind KIND] [--confidence P] [--phase | --nominal HZ]
//                     [--remove-drift] FILE
//
// Prints header lines starting with '#', then one line per tau:
//   tau n_terms deviation lower upper alpha edf
// (7 significant digits; "-" where a column does not apply). Exit status 0, or 2 for bad options
// or bad input (the message names the file and the line).

#include "stability/DeviationUnit.h"
#include "stability/StabilityAccumulatorUnit.h"
#include "stability/StabilityAnalysisUnit.h"
#include "stability/StabilityFileUnit.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

const char* const Usage =
    "usage: halvane-stability [--tau0 SECONDS] [--taus octave|decade|all|many|LIST]\n"
    "                         [--kind KIND] [--confidence P] [--phase | --nominal HZ]\n"
    "                         [--remove-drift] FILE\n"
    "FILE: a recording of the program (CSV), a frequency-difference log (\"ms;kHz\" lines)\n"
    "or a plain file with one value per line: fractional frequency, or with --phase the time\n"
    "error in seconds, or with --nominal HZ the frequency in Hz of a source of that nominal\n"
    "frequency. LIST: tau values in seconds, comma-separated (\"1,10,100\").\n"
    "KIND: adev oadev mdev tdev hdev ohdev totdev mtotdev ttotdev htotdev theo1 mtie tierms.\n"
    "--confidence P: the interval's confidence (0 < P < 1). --remove-drift: a linear frequency\n"
    "drift (least squares) is removed first.\n"
    "Default: --tau0 1 --taus octave --kind oadev --confidence 0.683.\n"
    "Output: '#' header lines, then per tau: tau n_terms deviation lower upper alpha edf.\n";

int Fail(const QString& message) {
    std::fprintf(stderr, "halvane-stability: %s\n", qPrintable(message));
    return 2;
}

// Least-squares line through the valid samples, removed from them.
void RemoveDrift(std::vector<double>* y) {
    double n = 0, st = 0, sy = 0;
    for (size_t i = 0; i < y->size(); ++i) {
        if (std::isfinite((*y)[i])) {
            n += 1;
            st += static_cast<double>(i);
            sy += (*y)[i];
        }
    }
    if (n < 2) {
        return;
    }
    const double mt = st / n;
    const double my = sy / n;
    double stt = 0, sty = 0;
    for (size_t i = 0; i < y->size(); ++i) {
        if (std::isfinite((*y)[i])) {
            const double t = static_cast<double>(i) - mt;
            stt += t * t;
            sty += t * ((*y)[i] - my);
        }
    }
    const double slope = stt > 0 ? sty / stt : 0;
    for (size_t i = 0; i < y->size(); ++i) {
        (*y)[i] -= slope * (static_cast<double>(i) - mt);
    }
}

// Frequencies in Hz of a source of the nominal frequency, as fractional frequencies. Read again
// from the text in long double: a double of 10 MHz keeps only about 2e-9 Hz, which is 1e-16
// relative, but already 1e-4 of an offset of 1e-5 Hz.
bool ReadHertz(const QString& file, double nominal, std::vector<double>* y, QString* error) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(file, f.errorString());
        return false;
    }
    y->clear();
    int lineNo = 0;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        ++lineNo;
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        if (line.compare("nan", Qt::CaseInsensitive) == 0) {
            y->push_back(std::numeric_limits<double>::quiet_NaN());
            continue;
        }
        char* end = nullptr;
        const long double hz = std::strtold(line.constData(), &end);
        if (end != line.constData() + line.size() || !std::isfinite(hz)) {
            *error = QStringLiteral("%1:%2: not a frequency in Hz: %3")
                         .arg(file)
                         .arg(lineNo)
                         .arg(QString::fromLatin1(line.left(40)));
            return false;
        }
        const long double n = nominal;
        y->push_back(static_cast<double>((hz - n) / n));
    }
    return true;
}

QString Column(double v) {
    return QString::asprintf("%.7g", v);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    double tau0 = 1;
    QString taus = QStringLiteral("octave");
    TDeviationKind kind = TDeviationKind::_oadev;
    double confidence = DefaultConfidence;
    bool phase = false;
    double nominal = 0;
    bool removeDrift = false;
    QString file;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString* out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            *out = args[++i];
            return true;
        };
        QString v;
        bool ok = false;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (a == QLatin1String("--tau0")) {
            if (!value(&v) || !((tau0 = v.toDouble(&ok)) > 0) || !ok || !std::isfinite(tau0)) {
                return Fail(QStringLiteral("--tau0 needs a positive number of seconds"));
            }
        } else if (a == QLatin1String("--taus")) {
            if (!value(&taus)) {
                return Fail(QStringLiteral("--taus needs octave, decade, all, many or a list"));
            }
        } else if (a == QLatin1String("--kind")) {
            if (!value(&v) || !DeviationKindFromName(v, &kind)) {
                return Fail(QStringLiteral("--kind must be adev, oadev, mdev, tdev, hdev, ohdev, "
                                           "totdev, mtotdev, ttotdev, htotdev, theo1, mtie or "
                                           "tierms"));
            }
        } else if (a == QLatin1String("--confidence")) {
            if (!value(&v) || !((confidence = v.toDouble(&ok)) > 0) || !ok || !(confidence < 1)) {
                return Fail(QStringLiteral("--confidence needs a number between 0 and 1"));
            }
        } else if (a == QLatin1String("--phase")) {
            phase = true;
        } else if (a == QLatin1String("--nominal")) {
            if (!value(&v) || !((nominal = v.toDouble(&ok)) > 0) || !ok ||
                !std::isfinite(nominal)) {
                return Fail(QStringLiteral("--nominal needs a positive frequency in Hz"));
            }
        } else if (a == QLatin1String("--remove-drift")) {
            removeDrift = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            return Fail(QStringLiteral("unknown option %1\n%2").arg(a, QString::fromLatin1(Usage)));
        } else if (file.isEmpty()) {
            file = a;
        } else {
            return Fail(QStringLiteral("only one FILE, please"));
        }
    }
    if (file.isEmpty()) {
        return Fail(QStringLiteral("no FILE\n%1").arg(QString::fromLatin1(Usage)));
    }
    if (phase && nominal > 0) {
        return Fail(QStringLiteral("--phase and --nominal exclude each other"));
    }

    TStabilityFileData data;
    QString error;
    if (!ReadStabilityFile(file, tau0, DefaultOpticalFrequencyMHz * 1e6, &data, &error)) {
        return Fail(error);
    }
    if ((phase || nominal > 0) && data.Kind != TStabilityFileKind::_fractional) {
        return Fail(QStringLiteral("%1: --phase and --nominal apply to a plain file of values, "
                                   "not to a %2")
                        .arg(file, StabilityFileKindName(data.Kind)));
    }
    QString input = StabilityFileKindName(data.Kind);
    if (phase) {
        // N time errors give N - 1 fractional frequencies
        std::vector<double> y;
        for (size_t i = 0; i + 1 < data.Y.size(); ++i) {
            y.push_back((data.Y[i + 1] - data.Y[i]) / data.Tau0);
        }
        data.Y = std::move(y);
        input = QStringLiteral("phase (s)");
    } else if (nominal > 0) {
        if (!ReadHertz(file, nominal, &data.Y, &error)) {
            return Fail(error);
        }
        input = QStringLiteral("frequency (Hz) of nominal %1 Hz").arg(nominal, 0, 'g', 12);
    }
    if (removeDrift) {
        RemoveDrift(&data.Y);
    }
    const int64_t n = static_cast<int64_t>(data.Y.size());

    TFrequencyRecord record;
    record.Reserve(n);
    for (double y : data.Y) {
        record.Append(y);
    }
    const TStabilityAnalysis analysis(record, data.Tau0);

    std::vector<int64_t> factors;
    if (taus == QLatin1String("octave")) {
        factors = analysis.Factors(kind, TTauSpacing::_octave);
    } else if (taus == QLatin1String("decade")) {
        factors = analysis.Factors(kind, TTauSpacing::_decade);
    } else if (taus == QLatin1String("all")) {
        factors = analysis.Factors(kind, TTauSpacing::_all);
    } else if (taus == QLatin1String("many")) {
        factors = analysis.Factors(kind, TTauSpacing::_many);
    } else {
        // Theo1's tau is 0.75 m tau0
        const double scale = kind == TDeviationKind::_theo1 ? 0.75 : 1.0;
        for (const QString& t : taus.split(QLatin1Char(','))) {
            bool ok = false;
            const double tau = t.trimmed().toDouble(&ok);
            const double m = std::round(tau / (scale * data.Tau0));
            if (!ok || !(tau > 0) || m < 1 || std::fabs(m * scale * data.Tau0 - tau) > 1e-9 * tau) {
                return Fail(QStringLiteral("tau %1 is not a positive multiple of %2 s")
                                .arg(t.trimmed())
                                .arg(scale * data.Tau0));
            }
            factors.push_back(static_cast<int64_t>(m));
        }
    }

    const QList<TDeviationPoint> table = analysis.Table(kind, factors, confidence);

    const QString name = DeviationKindName(kind);
    std::printf("# tau n_terms %s lower upper alpha edf\n", qPrintable(name));
    std::printf("# %s: %s, %lld samples, %lld missing, tau0 %.7g s\n", qPrintable(file),
                qPrintable(input), static_cast<long long>(n),
                static_cast<long long>(record.GapCount()), data.Tau0);
    if (removeDrift) {
        std::printf("# linear frequency drift removed (least squares)\n");
    }
    if (kind == TDeviationKind::_mtie || kind == TDeviationKind::_tierms) {
        std::printf("# %s in seconds; no noise type and no interval\n", qPrintable(name));
    } else {
        std::printf("# bounds: chi-squared interval at confidence %.4g from the equivalent degrees "
                    "of freedom (edf) for the noise type alpha identified at each tau\n",
                    confidence);
    }
    if (kind == TDeviationKind::_theo1) {
        std::printf("# Theo1: tau = 0.75 m tau0, even m only\n");
    }
    if (TStabilityAnalysis::NeedsPhase(kind) && analysis.HasGaps()) {
        std::printf("# %s needs a record without missing samples: no points\n", qPrintable(name));
    }
    for (const TDeviationPoint& p : table) {
        const bool interval = p.Edf > 0;
        std::printf("%s %lld %s %s %s %s %s\n", qPrintable(Column(p.Tau)),
                    static_cast<long long>(p.Terms), qPrintable(Column(p.Deviation)),
                    interval ? qPrintable(Column(p.Lower)) : "-",
                    interval ? qPrintable(Column(p.Upper)) : "-",
                    p.HasAlpha ? qPrintable(QString::number(p.Alpha)) : "-",
                    interval ? qPrintable(QString::asprintf("%.4g", p.Edf)) : "-");
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}
