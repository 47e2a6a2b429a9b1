#include "stability/StabilityAnalysisUnit.h"

#include "stability/StabilityConfidenceUnit.h"
#include "stability/TotalDeviationUnit.h"

#include <cmath>
#include <limits>

TStabilityAnalysis::TStabilityAnalysis(const TFrequencyRecord& record, double tau0)
    : FRecord(record), FTau0(tau0) {}

TStabilityAnalysis::~TStabilityAnalysis() = default;

bool TStabilityAnalysis::NeedsPhase(TDeviationKind kind) {
    switch (kind) {
    case TDeviationKind::_totdev:
    case TDeviationKind::_mtotdev:
    case TDeviationKind::_ttotdev:
    case TDeviationKind::_htotdev:
    case TDeviationKind::_theo1:
    case TDeviationKind::_mtie:
    case TDeviationKind::_tierms:
        return true;
    default:
        return false;
    }
}

int64_t TStabilityAnalysis::LongestFactor(TDeviationKind kind) const {
    const int64_t n = FRecord.Size();
    switch (kind) {
    case TDeviationKind::_totdev:
    case TDeviationKind::_mtie:
        return n / 2;
    case TDeviationKind::_theo1:
        return n;
    default:
        return n / 3;
    }
}

std::vector<int64_t> TStabilityAnalysis::Factors(TDeviationKind kind, TTauSpacing spacing) const {
    std::vector<int64_t> factors = AveragingFactorsUpTo(spacing, LongestFactor(kind));
    if (kind == TDeviationKind::_theo1) {
        // even factors only
        std::vector<int64_t> even;
        for (int64_t m : factors) {
            const int64_t e = m % 2 == 0 ? m : m + 1;
            if (e <= LongestFactor(kind) && (even.empty() || e > even.back())) {
                even.push_back(e);
            }
        }
        return even;
    }
    return factors;
}

const std::vector<double>& TStabilityAnalysis::Phase() const {
    const int64_t n = FRecord.Size();
    if (static_cast<int64_t>(FPhase.size()) != n + 1) {
        // the record has grown: the sums built on the old phase go
        FPhaseWindows.reset();
        FFrequencyWindows.reset();
        FTheo1.reset();
        FAbsolute.clear();
        FPhase.resize(static_cast<size_t>(n + 1));
        for (int64_t k = 0; k <= n; ++k) {
            FPhase[static_cast<size_t>(k)] = FTau0 * FRecord.RelativePhase(k);
        }
    }
    return FPhase;
}

bool TStabilityAnalysis::NoiseType(TDeviationKind kind, int64_t m, int* alpha) const {
    int dmax = 2;
    switch (kind) {
    case TDeviationKind::_mtie:
    case TDeviationKind::_tierms:
        return false;
    case TDeviationKind::_hdev:
    case TDeviationKind::_ohdev:
    case TDeviationKind::_htotdev:
        dmax = 3;
        break;
    default:
        break;
    }
    const bool overlapping = kind != TDeviationKind::_adev && kind != TDeviationKind::_hdev;
    const std::vector<double>& x = Phase();
    const int64_t n = static_cast<int64_t>(x.size());
    // Where the longest taus leave fewer averages than the B1 ratio needs to tell the noises
    // apart (10 for the non-overlapping estimators, 8 for the overlapping ones, which see every
    // sample), the noise of the longest factor that still has them.
    const int64_t fewest = overlapping ? 8 : 10;
    if ((n - 1) / m < fewest) {
        m = (n - 1) / fewest;
        if (m < 1) {
            return false;
        }
    }
    double ratio = std::numeric_limits<double>::quiet_NaN();
    if ((n - 1) / m < PmRatioMaxAverages) {
        TDeviationPoint mod;
        TDeviationPoint allan;
        if (DeviationPoint(TDeviationKind::_mdev, m, 1, FRecord.Sums(TDeviationKind::_mdev, m),
                           &mod) &&
            DeviationPoint(TDeviationKind::_oadev, m, 1, FRecord.Sums(TDeviationKind::_oadev, m),
                           &allan) &&
            allan.Deviation > 0) {
            ratio = (mod.Deviation * mod.Deviation) / (allan.Deviation * allan.Deviation);
        }
    }
    return IdentifyNoise(x.data(), n, m, dmax, overlapping, ratio, alpha);
}

double TStabilityAnalysis::Edf(TDeviationKind kind, int64_t m, int alpha) const {
    const int64_t n = FRecord.Size() + 1; // phase points
    switch (kind) {
    case TDeviationKind::_adev:
        return GreenhallEdf(alpha, 2, m, n, false, false);
    case TDeviationKind::_oadev:
        return GreenhallEdf(alpha, 2, m, n, true, false);
    case TDeviationKind::_mdev:
    case TDeviationKind::_tdev:
        return GreenhallEdf(alpha, 2, m, n, true, true);
    case TDeviationKind::_hdev:
        return GreenhallEdf(alpha, 3, m, n, false, false);
    case TDeviationKind::_ohdev:
        return GreenhallEdf(alpha, 3, m, n, true, false);
    case TDeviationKind::_htotdev:
        return HadamardTotalEdf(alpha, m, n);
    case TDeviationKind::_totdev:
        return TotalEdf(alpha, m, n);
    case TDeviationKind::_mtotdev:
    case TDeviationKind::_ttotdev:
        return ModifiedTotalEdf(alpha, m, n);
    case TDeviationKind::_theo1:
        return Theo1Edf(alpha, m, n);
    case TDeviationKind::_mtie:
    case TDeviationKind::_tierms:
        return 0;
    }
    return 0;
}

bool TStabilityAnalysis::Point(TDeviationKind kind, int64_t m, double confidence,
                               TDeviationPoint* point) const {
    TDeviationPoint p;
    if (m < 1) {
        return false;
    }
    const double tau = static_cast<double>(m) * FTau0;
    if (!NeedsPhase(kind)) {
        const TDeviationKind base = kind == TDeviationKind::_tdev ? TDeviationKind::_mdev : kind;
        if (!DeviationPoint(base, m, FTau0, FRecord.Sums(base, m), &p)) {
            return false;
        }
        if (kind == TDeviationKind::_tdev) {
            p.Deviation *= tau / std::sqrt(3.0);
        }
    } else {
        if (HasGaps()) {
            return false;
        }
        const std::vector<double>& x = Phase();
        const int64_t n = static_cast<int64_t>(x.size());
        TPhaseResult r;
        bool ok = false;
        switch (kind) {
        case TDeviationKind::_totdev:
            ok = TotalDeviation(x.data(), n, m, FTau0, &r);
            break;
        case TDeviationKind::_mtotdev:
        case TDeviationKind::_ttotdev:
            if (!FPhaseWindows) {
                FPhaseWindows = std::make_unique<TTotalWindowSums>(x.data(), n);
            }
            ok = ModifiedTotalDeviation(x.data(), n, m, FTau0, &r, FPhaseWindows.get());
            if (ok && kind == TDeviationKind::_ttotdev) {
                r.Deviation *= tau / std::sqrt(3.0);
            }
            break;
        case TDeviationKind::_htotdev:
            if (!FFrequencyWindows) {
                FFrequency.resize(static_cast<size_t>(n - 1));
                for (int64_t k = 0; k + 1 < n; ++k) {
                    FFrequency[static_cast<size_t>(k)] = (x[k + 1] - x[k]) / FTau0;
                }
                FFrequencyWindows = std::make_unique<TTotalWindowSums>(FFrequency.data(), n - 1);
            }
            ok = HadamardTotalDeviation(x.data(), n, m, FTau0, &r, FFrequencyWindows.get());
            break;
        case TDeviationKind::_theo1:
            if (!FTheo1) {
                FTheo1 = std::make_unique<TTheo1Sums>(x.data(), n);
            }
            ok = Theo1Deviation(x.data(), n, m, FTau0, &r, FTheo1.get());
            break;
        case TDeviationKind::_mtie:
        case TDeviationKind::_tierms: {
            // these see the mean frequency offset too (made once for the taus of a table)
            if (FAbsolute.size() != x.size()) {
                FAbsolute.resize(x.size());
                const double rate = FTau0 * FRecord.Reference();
                for (size_t k = 0; k < x.size(); ++k) {
                    FAbsolute[k] = x[k] + rate * static_cast<double>(k);
                }
            }
            ok = kind == TDeviationKind::_mtie ? Mtie(FAbsolute.data(), n, m, &r)
                                               : TieRms(FAbsolute.data(), n, m, &r);
            break;
        }
        default:
            break;
        }
        if (!ok || r.Terms < 1) {
            return false;
        }
        p.M = m;
        p.Tau = kind == TDeviationKind::_theo1 ? 0.75 * tau : tau;
        p.Terms = r.Terms;
        p.Deviation = r.Deviation;
    }
    AddConfidence(kind, confidence, &p);
    *point = p;
    return true;
}

void TStabilityAnalysis::AddConfidence(TDeviationKind kind, double confidence,
                                       TDeviationPoint* p) const {
    p->Lower = p->Upper = p->Deviation;
    p->Edf = 0;
    p->HasAlpha = false;
    int alpha = 0;
    if (NoiseType(kind, p->M, &alpha)) {
        p->HasAlpha = true;
        p->Alpha = alpha;
        const double edf = Edf(kind, p->M, alpha);
        if (ChiSquaredInterval(p->Deviation, edf, confidence, &p->Lower, &p->Upper)) {
            p->Edf = edf;
        }
    }
}

QList<TDeviationPoint> TStabilityAnalysis::Table(TDeviationKind kind,
                                                 const std::vector<int64_t>& factors,
                                                 double confidence) const {
    QList<TDeviationPoint> table;
    for (int64_t m : factors) {
        TDeviationPoint p;
        if (Point(kind, m, confidence, &p)) {
            table.append(p);
        }
    }
    return table;
}

QString DeviationKindTitle(TDeviationKind kind) {
    switch (kind) {
    case TDeviationKind::_theo1:
        return QStringLiteral("Theo1");
    case TDeviationKind::_tierms:
        return QStringLiteral("TIE rms");
    default:
        return DeviationKindName(kind).toUpper();
    }
}

QString NoiseTypeName(int alpha) {
    switch (alpha) {
    case 2:
        return QStringLiteral("W PM");
    case 1:
        return QStringLiteral("F PM");
    case 0:
        return QStringLiteral("W FM");
    case -1:
        return QStringLiteral("F FM");
    case -2:
        return QStringLiteral("RW FM");
    case -3:
        return QStringLiteral("FW FM");
    case -4:
        return QStringLiteral("RR FM");
    default:
        return QStringLiteral("?");
    }
}
