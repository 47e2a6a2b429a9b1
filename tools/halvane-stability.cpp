// halvane-stability: frequency-stability table of a recording, a frequency-difference log or a
// plain file of fractional frequencies.
//
//   halvane-stability [--tau0 SECONDS] [--taus octave|decade|all|LIST]
//                     [--kind adev|oadev|mdev|hdev|ohdev] FILE
//
// Prints a header line starting with '#', then one line per tau: tau n_terms deviation lower
// upper (fractional frequency, 7 significant digits). Exit status 0, or 2 for bad options or
// bad input (the message names the file and the line).

#include "stability/DeviationUnit.h"
#include "stability/StabilityAccumulatorUnit.h"
#include "stability/StabilityFileUnit.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdio>

namespace {

const char* const Usage =
    "usage: halvane-stability [--tau0 SECONDS] [--taus octave|decade|all|LIST]\n"
    "                         [--kind adev|oadev|mdev|hdev|ohdev] FILE\n"
    "FILE: a recording of the program (CSV), a frequency-difference log (\"ms;kHz\" lines)\n"
    "or a plain file with one fractional-frequency value per line. LIST: tau values in\n"
    "seconds, comma-separated (\"1,10,100\"). Default: --tau0 1 --taus octave --kind oadev.\n";

int Fail(const QString& message) {
    std::fprintf(stderr, "halvane-stability: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    double tau0 = 1;
    QString taus = QStringLiteral("octave");
    TDeviationKind kind = TDeviationKind::_oadev;
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
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (a == QLatin1String("--tau0")) {
            bool ok = false;
            if (!value(&v) || !((tau0 = v.toDouble(&ok)) > 0) || !ok || !std::isfinite(tau0)) {
                return Fail(QStringLiteral("--tau0 needs a positive number of seconds"));
            }
        } else if (a == QLatin1String("--taus")) {
            if (!value(&taus)) {
                return Fail(QStringLiteral("--taus needs octave, decade, all or a list"));
            }
        } else if (a == QLatin1String("--kind")) {
            if (!value(&v) || !DeviationKindFromName(v, &kind)) {
                return Fail(QStringLiteral("--kind must be adev, oadev, mdev, hdev or ohdev"));
            }
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

    TStabilityFileData data;
    QString error;
    if (!ReadStabilityFile(file, tau0, DefaultOpticalFrequencyMHz * 1e6, &data, &error)) {
        return Fail(error);
    }
    const int64_t n = static_cast<int64_t>(data.Y.size());

    std::vector<int64_t> factors;
    if (taus == QLatin1String("octave")) {
        factors = AveragingFactors(TTauSpacing::_octave, n);
    } else if (taus == QLatin1String("decade")) {
        factors = AveragingFactors(TTauSpacing::_decade, n);
    } else if (taus == QLatin1String("all")) {
        factors = AveragingFactors(TTauSpacing::_all, n);
    } else {
        for (const QString& t : taus.split(QLatin1Char(','))) {
            bool ok = false;
            const double tau = t.trimmed().toDouble(&ok);
            const double m = std::round(tau / data.Tau0);
            if (!ok || !(tau > 0) || m < 1 || std::fabs(m * data.Tau0 - tau) > 1e-9 * tau) {
                return Fail(QStringLiteral("tau %1 is not a positive multiple of tau0 = %2 s")
                                .arg(t.trimmed())
                                .arg(data.Tau0));
            }
            factors.push_back(static_cast<int64_t>(m));
        }
    }

    TFrequencyRecord record;
    record.Reserve(n);
    for (double y : data.Y) {
        record.Append(y);
    }
    const QList<TDeviationPoint> table = DeviationTable(record, kind, factors, data.Tau0);

    std::printf("# tau n_terms %s lower upper (%s, %s: %lld samples, %lld missing, tau0 %.7g s; "
                "bounds dev*(1-+1/sqrt(n_terms)))\n",
                qPrintable(DeviationKindName(kind)), qPrintable(file),
                qPrintable(StabilityFileKindName(data.Kind)), static_cast<long long>(n),
                static_cast<long long>(record.GapCount()), data.Tau0);
    for (const TDeviationPoint& p : table) {
        std::printf("%.7g %lld %.7g %.7g %.7g\n", p.Tau, static_cast<long long>(p.Terms),
                    p.Deviation, p.Lower, p.Upper);
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}
