#include "ui/stability/StabilityViewUnit.h"

#include "stability/StabilityAnalysisUnit.h"
#include "stability/StabilityFileUnit.h"
#include "ui/main/SaveDialogUnit.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// A jump of the clock larger than this is not taken as that many missing bins.
constexpr int64_t MaxGapBins = 7 * 86400;

// The chooser's kinds, in its order (the first three as the page has always offered them).
constexpr TDeviationKind ViewKinds[] = {
    TDeviationKind::_oadev,   TDeviationKind::_mdev,    TDeviationKind::_ohdev,
    TDeviationKind::_adev,    TDeviationKind::_tdev,    TDeviationKind::_hdev,
    TDeviationKind::_totdev,  TDeviationKind::_mtotdev, TDeviationKind::_ttotdev,
    TDeviationKind::_htotdev, TDeviationKind::_theo1};

QString KindTitle(TDeviationKind kind) {
    switch (kind) {
    case TDeviationKind::_adev:
        return QStringLiteral("Allan deviation");
    case TDeviationKind::_mdev:
        return QStringLiteral("Modified Allan deviation");
    case TDeviationKind::_tdev:
        return QStringLiteral("Time deviation [s]");
    case TDeviationKind::_hdev:
        return QStringLiteral("Hadamard deviation");
    case TDeviationKind::_ohdev:
        return QStringLiteral("Overlapping Hadamard deviation");
    case TDeviationKind::_totdev:
        return QStringLiteral("Total deviation");
    case TDeviationKind::_mtotdev:
        return QStringLiteral("Modified total deviation");
    case TDeviationKind::_ttotdev:
        return QStringLiteral("Time total deviation [s]");
    case TDeviationKind::_htotdev:
        return QStringLiteral("Hadamard total deviation");
    case TDeviationKind::_theo1:
        return QStringLiteral("Theo1 deviation");
    default:
        return QStringLiteral("Overlapping Allan deviation");
    }
}

QString KindItem(TDeviationKind kind) {
    switch (kind) {
    case TDeviationKind::_ohdev:
        return QStringLiteral("Overlapping Hadamard");
    default:
        return DeviationKindTitle(kind);
    }
}

// The kinds whose sums cost n m per tau, or about 16 n log2 n by Fourier transforms where that
// is less: on a long record the page leaves out the taus that would hold up the window for long.
bool TooCostly(TDeviationKind kind, int64_t samples, int64_t m) {
    constexpr double Budget = 3e7;
    const double n = static_cast<double>(samples);
    switch (kind) {
    case TDeviationKind::_mtotdev:
    case TDeviationKind::_ttotdev:
    case TDeviationKind::_htotdev:
    case TDeviationKind::_theo1:
        return std::min(n * static_cast<double>(m), 16 * n * std::log2(std::max(n, 2.0))) > Budget;
    default:
        return false;
    }
}

QString Hz(double v, int decimals) {
    return QLocale().toString(v, 'f', decimals) + QStringLiteral(" Hz");
}

QString Duration(double seconds) {
    const int64_t s = static_cast<int64_t>(std::llround(seconds));
    const int64_t d = s / 86400, h = (s % 86400) / 3600, m = (s % 3600) / 60, r = s % 60;
    if (d > 0) {
        return QStringLiteral("%1 d %2 h %3 min").arg(d).arg(h).arg(m, 2, 10, QLatin1Char('0'));
    }
    if (h > 0) {
        return QStringLiteral("%1 h %2 min %3 s")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(r, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1 min %2 s").arg(m).arg(r, 2, 10, QLatin1Char('0'));
}

} // namespace

TStabilityView::TStabilityView(QWidget* parent, TStatusModel* status, TLinkEvents* events)
    : QWidget(parent), FStatus(status), FEvents(events) {
    setObjectName(QStringLiteral("StabilityView"));
    FOpticalFrequency = [](QChar) { return DefaultOpticalFrequencyMHz * 1e6; };

    FChart = new QCustomPlot(this);
    FChart->setObjectName(QStringLiteral("StabilityChart"));
    FChart->setMinimumSize(380, 300);
    for (QCPAxis* axis : {FChart->xAxis, FChart->yAxis}) {
        axis->setScaleType(QCPAxis::stLogarithmic);
        // Labels at powers of ten only (the ranges always hold at least two of them), the
        // steps between them as unlabelled sub-ticks.
        QSharedPointer<QCPAxisTickerLog> ticker(new QCPAxisTickerLog);
        ticker->setLogBase(10);
        ticker->setSubTickCount(8);
        axis->setTicker(ticker);
        axis->setNumberFormat(QStringLiteral("eb"));
        axis->setNumberPrecision(0);
        axis->grid()->setSubGridVisible(true);
    }
    FChart->xAxis->setLabel(QStringLiteral("tau [s]"));
    FChart->yAxis->setLabel(QStringLiteral("Overlapping Allan deviation"));
    FChart->xAxis->setRange(1, 1000);
    FChart->yAxis->setRange(1e-13, 1e-10);
    FGraph = FChart->addGraph();
    FGraph->setPen(QPen(QColor(30, 90, 180), 1.5));
    FGraph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 6));
    FErrorBars = new QCPErrorBars(FChart->xAxis, FChart->yAxis);
    FErrorBars->setDataPlottable(FGraph);
    FErrorBars->setPen(QPen(QColor(30, 90, 180)));
    FErrorBars->setSymbolGap(4);

    FKindBox = new QComboBox(this);
    FKindBox->setObjectName(QStringLiteral("StabilityKindComboBox"));
    for (TDeviationKind kind : ViewKinds) {
        FKindBox->addItem(KindItem(kind));
    }
    connect(FKindBox, &QComboBox::activated, this, [this] {
        FDirty = true;
        Redraw();
    });

    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    FMeanLabel = label("StabilityMeanLabel");
    FStdDevLabel = label("StabilityStdDevLabel");
    FDriftLabel = label("StabilityDriftLabel");
    FLengthLabel = label("StabilityLengthLabel");
    FGapsLabel = label("StabilityGapsLabel");
    FLockLossLabel = label("StabilityLockLossLabel");
    FConfidenceLabel = label("StabilityConfidenceLabel");
    FSourceLabel = label("StabilitySourceLabel");
    FSourceLabel->setWordWrap(true);
    FMessageLabel = label("StabilityMessageLabel");
    FMessageLabel->setWordWrap(true);
    FRecordNoteLabel = label("StabilityRecordNoteLabel");
    FRecordNoteLabel->setWordWrap(true);

    auto button = [this](const char* name, const QString& text, void (TStabilityView::*slot)()) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    QPushButton* clear =
        button("StabilityClearButton", QStringLiteral("Clear"), &TStabilityView::ClearButtonClick);
    QPushButton* exportButton = button("StabilityExportButton", QStringLiteral("Export"),
                                       &TStabilityView::ExportButtonClick);
    FRecordButton = button("StabilityRecordButton", QStringLiteral("Record..."),
                           &TStabilityView::RecordButtonClick);
    QPushButton* open =
        button("StabilityOpenButton", QStringLiteral("Open..."), &TStabilityView::OpenButtonClick);
    QPushButton* picture = button("StabilityPictureButton", QStringLiteral("Picture..."),
                                  &TStabilityView::PictureButtonClick);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Deviation"), FKindBox);
    form->addRow(QStringLiteral("Mean beat"), FMeanLabel);
    form->addRow(QStringLiteral("Std. deviation"), FStdDevLabel);
    form->addRow(QStringLiteral("Drift"), FDriftLabel);
    form->addRow(QStringLiteral("Record"), FLengthLabel);
    form->addRow(QStringLiteral("Bins skipped"), FGapsLabel);
    form->addRow(QStringLiteral("Lock losses"), FLockLossLabel);
    form->addRow(QStringLiteral("Intervals"), FConfidenceLabel);
    auto* buttons = new QGridLayout;
    buttons->addWidget(clear, 0, 0);
    buttons->addWidget(exportButton, 0, 1);
    buttons->addWidget(FRecordButton, 1, 0);
    buttons->addWidget(open, 1, 1);
    buttons->addWidget(picture, 2, 0);
    auto* side = new QVBoxLayout;
    side->addLayout(form);
    side->addWidget(FSourceLabel);
    side->addWidget(FRecordNoteLabel);
    side->addLayout(buttons);
    side->addWidget(FMessageLabel);
    side->addStretch(1);
    auto* sideWidget = new QWidget(this);
    sideWidget->setLayout(side);
    sideWidget->setFixedWidth(250);
    auto* top = new QHBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 4);
    top->addWidget(FChart, 1);
    top->addWidget(sideWidget);

    connect(FChart, &QCustomPlot::mouseMove, this, &TStabilityView::ChartMouseMove);
    connect(&FBinner, &TBeatBinner::BinClosed, this, &TStabilityView::AddBin);
    connect(&FRecorder, &TStabilityRecorder::Stopped, this, [this](const QString& message) {
        emit RecordingChanged(QString());
        FRecordButton->setText(QStringLiteral("Record..."));
        FMessageLabel->setStyleSheet(message.isEmpty() ? QString()
                                                       : QStringLiteral("color: #b00000"));
        FMessageLabel->setText(message.isEmpty() ? QStringLiteral("Recording stopped.") : message);
    });
    Attach();
    connect(&FTimer, &QTimer::timeout, this, &TStabilityView::TimerTick);
    FTimer.start(1000);
    Redraw();
}

TStabilityView::~TStabilityView() = default;

void TStabilityView::Attach() {
    // The program's models exist once the application manager has made them.
    if (FStatus == nullptr) {
        FStatus = StatusModel;
    }
    if (FEvents == nullptr) {
        FEvents = LinkEvents;
    }
    if (FStatus == nullptr && FEvents == nullptr) {
        return;
    }
    FBinner.Attach(FStatus);
    FRecorder.Attach(&FBinner, FStatus, FEvents);
    if (FEvents != nullptr) {
        connect(FEvents, &TLinkEvents::EventAdded, this, [this](const TLinkEvent& e) {
            if (e.Kind == TLinkEventKind::_lock_lost) {
                ++FLockLosses;
                FDirty = true;
            }
        });
        connect(FEvents, &QObject::destroyed, this, [this] { FEvents = nullptr; });
    }
    if (FStatus != nullptr) {
        // after the binner's own subscription: a report closes the earlier bin first
        connect(FStatus, &TStatusModel::FrequencyReported, this, [this](const QDateTime& utc) {
            const int status = FStatus->Snapshot().TuningStatus;
            if (status >= 0 && status != 3) {
                FUnlockedSeconds.insert(TBeatBinner::SecondOf(utc));
            }
        });
        connect(FStatus, &QObject::destroyed, this, [this] {
            FStatus = nullptr;
            FBinner.Attach(nullptr);
        });
    }
}

void TStabilityView::AddBin(const TBeatBin& bin) {
    const int64_t second = bin.Second();
    if (FHasLast && second <= FLastSecond) {
        ++FDroppedBins; // the clock went back
        return;
    }
    SplitIfSetPointChanged(bin);
    if (FHasLast) {
        FLive.AddGap(std::min(second - FLastSecond - 1, MaxGapBins));
    } else {
        FRecordStart = bin.Start;
    }
    FHasLast = true;
    FLastSecond = second;
    // A beat while the iodine laser is not locked wanders by megahertz, and a bin in which the
    // lock, the peak or the set point changed mixes two set points: a missing bin, not a sample.
    // (Unknown status, before the first report, is taken as it comes.)
    const bool unlocked = FUnlockedSeconds.count(second) > 0;
    FUnlockedSeconds.erase(FUnlockedSeconds.begin(), FUnlockedSeconds.upper_bound(second));
    if (unlocked || !bin.Steady) {
        FLive.AddGap(1);
        FDirty = true;
        return;
    }
    // y of the bin is the beat over the optical frequency of the bin's own peak.
    FLive.SetOpticalFrequency(FOpticalFrequency(bin.Peak.isNull() ? FRecordPeak : bin.Peak));
    FLive.AddBeat(bin.MeanHz);
    FDirty = true;
}

void TStabilityView::SplitIfSetPointChanged(const TBeatBin& bin) {
    QStringList changes;
    if (!bin.Peak.isNull() && !FRecordPeak.isNull() && bin.Peak != FRecordPeak)
        changes << QStringLiteral("peak %1 to %2").arg(FRecordPeak).arg(bin.Peak);
    if (bin.SetPointHz > 0 && FRecordSetPointHz > 0 && bin.SetPointHz != FRecordSetPointHz)
        changes << QStringLiteral("set point %1 to %2 MHz")
                       .arg(FRecordSetPointHz / 1e6, 0, 'f', 3)
                       .arg(bin.SetPointHz / 1e6, 0, 'f', 3);
    if (!changes.isEmpty() && FHasLast)
        StartNewRecord(changes.join(QStringLiteral(", ")), bin.Start);
    if (!bin.Peak.isNull())
        FRecordPeak = bin.Peak;
    if (bin.SetPointHz > 0)
        FRecordSetPointHz = bin.SetPointHz;
}

void TStabilityView::StartNewRecord(const QString& reason, const QDateTime& at) {
    ClearLive();
    FSplitNote = QStringLiteral("New record since %1 UTC: %2.")
                     .arg(at.toUTC().toString(QStringLiteral("HH:mm:ss")), reason);
    if (FEvents != nullptr)
        FEvents->Add(TLinkEventKind::_record_split,
                     QStringLiteral("new stability record: ") + reason);
}

void TStabilityView::ClearLive() {
    FLive.Clear();
    FHasLast = false;
    FRecordStart = QDateTime();
    FLockLosses = 0;
    FDroppedBins = 0;
    FDirty = true;
}

void TStabilityView::TimerTick() {
    if (FStatus == nullptr && FEvents == nullptr) {
        Attach();
    }
    FBinner.CloseUpTo(QDateTime::currentDateTimeUtc());
    Redraw();
}

const TStabilityAccumulator& TStabilityView::Shown() const {
    return FFileRecord ? *FFileRecord : FLive;
}

TDeviationKind TStabilityView::Kind() const {
    const int last = static_cast<int>(std::size(ViewKinds)) - 1;
    return ViewKinds[std::clamp(FKindBox->currentIndex(), 0, last)];
}

QList<TDeviationPoint> TStabilityView::AnalysedTable(TDeviationKind kind) const {
    const TStabilityAccumulator& acc = Shown();
    const TStabilityAnalysis analysis(acc.Record(), acc.Tau0());
    if (std::find(std::begin(AllDeviationKinds), std::end(AllDeviationKinds), kind) !=
        std::end(AllDeviationKinds)) {
        // the live record's running sums: no recomputation once a second
        QList<TDeviationPoint> table = acc.Table(kind);
        for (TDeviationPoint& p : table) {
            analysis.AddConfidence(kind, FConfidence, &p);
        }
        return table;
    }
    std::vector<int64_t> factors;
    for (int64_t m : analysis.Factors(kind, TTauSpacing::_octave)) {
        if (!TooCostly(kind, acc.Record().Size(), m)) {
            factors.push_back(m);
        }
    }
    return analysis.Table(kind, factors, FConfidence);
}

void TStabilityView::DrawPoints(const QList<TDeviationPoint>& table) {
    QVector<double> x, y, minus, plus;
    double lo = 0, hi = 0;
    for (const TDeviationPoint& p : table) {
        x << p.Tau;
        y << p.Deviation;
        minus << p.Deviation - p.Lower;
        plus << p.Upper - p.Deviation;
        lo = lo == 0 ? p.Lower : std::min(lo, p.Lower);
        hi = std::max(hi, p.Upper);
    }
    FGraph->setData(x, y, true);
    FErrorBars->setData(minus, plus);
    FChart->yAxis->setLabel(KindTitle(Kind()));
    SetAxisRanges(table, lo, hi);
}

void TStabilityView::DrawNoiseMarks(const QList<TDeviationPoint>& table) {
    for (QCPItemText* mark : FNoiseMarks) {
        FChart->removeItem(mark);
    }
    FNoiseMarks.clear();
    for (const TDeviationPoint& p : table) {
        if (!p.HasAlpha) {
            continue;
        }
        auto* mark = new QCPItemText(FChart);
        mark->setClipToAxisRect(true);
        mark->position->setType(QCPItemPosition::ptPlotCoords);
        mark->position->setCoords(p.Tau, p.Upper);
        mark->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        mark->setPadding(QMargins(0, 0, 0, 3));
        mark->setText(NoiseTypeName(p.Alpha));
        QFont font = mark->font();
        font.setPointSizeF(font.pointSizeF() * 0.8);
        mark->setFont(font);
        mark->setColor(QColor(110, 110, 110));
        FNoiseMarks.append(mark);
    }
}

QStringList TStabilityView::NoiseMarks() const {
    QStringList marks;
    for (const QCPItemText* mark : FNoiseMarks) {
        marks << mark->text();
    }
    return marks;
}

QString TStabilityView::PointToolTip(const QPointF& pixel) const {
    const TDeviationPoint* best = nullptr;
    double bestDistance = 12; // pixels
    for (const TDeviationPoint& p : FShownTable) {
        const QPointF at(FChart->xAxis->coordToPixel(p.Tau),
                         FChart->yAxis->coordToPixel(p.Deviation));
        const double d = std::hypot(at.x() - pixel.x(), at.y() - pixel.y());
        if (d < bestDistance) {
            bestDistance = d;
            best = &p;
        }
    }
    if (best == nullptr) {
        return {};
    }
    QString tip = QStringLiteral("tau %1 s: %2 %3 (%4 terms)")
                      .arg(best->Tau, 0, 'g', 6)
                      .arg(DeviationKindTitle(Kind()))
                      .arg(best->Deviation, 0, 'g', 5)
                      .arg(best->Terms);
    if (best->HasAlpha) {
        tip += QStringLiteral("\nnoise %1, alpha = %2")
                   .arg(NoiseTypeName(best->Alpha))
                   .arg(best->Alpha);
    }
    if (best->Edf > 0) {
        tip += QStringLiteral("\n%1 % interval %2 .. %3 (edf %4)")
                   .arg(FConfidence * 100, 0, 'f', 1)
                   .arg(best->Lower, 0, 'g', 5)
                   .arg(best->Upper, 0, 'g', 5)
                   .arg(best->Edf, 0, 'g', 4);
    }
    return tip;
}

void TStabilityView::ChartMouseMove(QMouseEvent* event) {
    const QString tip = PointToolTip(event->position());
    if (tip.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(event->globalPosition().toPoint(), tip, FChart);
    }
}

void TStabilityView::PictureButtonClick() {
    const QString name =
        ShowSaveDialog(this, {QStringLiteral("PNG image (*.png);;PDF document (*.pdf)"),
                              QStringLiteral("png"), QStringLiteral("Stability_")});
    if (name.isEmpty()) {
        return;
    }
    const bool pdf = name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    const bool ok = pdf ? FChart->savePdf(name) : FChart->savePng(name);
    FMessageLabel->setStyleSheet(ok ? QString() : QStringLiteral("color: #b00000"));
    FMessageLabel->setText(ok ? QStringLiteral("Chart saved to %1").arg(QFileInfo(name).fileName())
                              : QStringLiteral("Chart not saved: %1").arg(name));
}

QByteArray TStabilityView::ExportTableText() const {
    QByteArray text("kind,tau_s,n_terms,deviation,lower,upper,alpha,edf\n");
    auto number = [](double v) { return QString::number(v, 'g', 7); };
    QList<TDeviationKind> kinds(std::begin(ViewKinds), std::end(ViewKinds));
    kinds << TDeviationKind::_mtie << TDeviationKind::_tierms;
    for (TDeviationKind kind : kinds) {
        for (const TDeviationPoint& p : AnalysedTable(kind)) {
            const bool interval = p.Edf > 0;
            text += QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8\n")
                        .arg(DeviationKindName(kind), number(p.Tau))
                        .arg(p.Terms)
                        .arg(number(p.Deviation), interval ? number(p.Lower) : QString(),
                             interval ? number(p.Upper) : QString(),
                             p.HasAlpha ? QString::number(p.Alpha) : QString(),
                             interval ? QString::number(p.Edf, 'g', 4) : QString())
                        .toLatin1();
        }
    }
    return text;
}

void TStabilityView::Redraw() {
    if (!FDirty) {
        return;
    }
    FDirty = false;
    const TStabilityAccumulator& acc = Shown();
    FShownTable = AnalysedTable(Kind());
    DrawPoints(FShownTable);
    DrawNoiseMarks(FShownTable);
    FChart->replot(QCustomPlot::rpQueuedReplot);
    FRecordNoteLabel->setText(RecordNote());

    const TBeatStatistics s = acc.Statistics();
    const bool any = s.Samples > 0;
    FMeanLabel->setText(any ? Hz(s.MeanHz, 1) : QStringLiteral("-"));
    FStdDevLabel->setText(s.Samples > 1 ? Hz(s.StdDevHz, 1) : QStringLiteral("-"));
    FDriftLabel->setText(s.Samples > 1 ? QLocale().toString(s.DriftHzPerHour, 'f', 1) +
                                             QStringLiteral(" Hz/h")
                                       : QStringLiteral("-"));
    FLengthLabel->setText(Duration(s.RecordSeconds));
    FGapsLabel->setText(QStringLiteral("%1 of %2").arg(s.Gaps).arg(s.Bins));
    FLockLossLabel->setText(FFileRecord ? QStringLiteral("-") : QString::number(FLockLosses));
    FConfidenceLabel->setText(
        QStringLiteral("%1 %, chi-squared").arg(QLocale().toString(FConfidence * 100, 'f', 1)));
    FSourceLabel->setText(FFileRecord
                              ? QStringLiteral("File: %1").arg(QFileInfo(FFileName).fileName())
                              : QStringLiteral("Live beat note, y = beat / %1 MHz")
                                    .arg(QLocale().toString(acc.OpticalFrequency() / 1e6, 'f', 3)));
}

namespace {
TStabilityView::TQuestion QuestionOverride;
} // namespace

void TStabilityView::SetQuestionOverride(TQuestion question) {
    QuestionOverride = std::move(question);
}

void TStabilityView::ClearButtonClick() {
    // A live record is thrown away only when the operator says so; a file shown goes back to
    // the live record without asking.
    const TBeatStatistics live = FLive.Statistics();
    if (!FFileRecord && live.Bins > 0) {
        const QString question = QStringLiteral("Throw away the stability record of %1 (%2 bins)?")
                                     .arg(Duration(live.RecordSeconds))
                                     .arg(live.Bins);
        const bool yes = QuestionOverride
                             ? QuestionOverride(this, question)
                             : QMessageBox::question(this, QStringLiteral("Clear"), question,
                                                     QMessageBox::Yes | QMessageBox::No,
                                                     QMessageBox::No) == QMessageBox::Yes;
        if (!yes)
            return;
    }
    const bool showedFile = FFileRecord != nullptr;
    FFileRecord.reset();
    FFileName.clear();
    FDirty = true;
    if (!showedFile) {
        ClearLive();
        FBinner.Reset();
        FUnlockedSeconds.clear();
        FRecordPeak = QChar();
        FRecordSetPointHz = 0;
        FSplitNote.clear();
    }
    Redraw();
}

void TStabilityView::ExportButtonClick() {
    const QString name =
        ShowSaveDialog(this, {QStringLiteral("CSV file (*.csv)"), QStringLiteral("csv"),
                              QStringLiteral("Stability_")});
    if (name.isEmpty()) {
        return;
    }
    QByteArray text = ExportHeader().toUtf8();
    text += ExportTableText();
    QFile file(name);
    const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(text) == text.size() && file.flush();
    FMessageLabel->setStyleSheet(ok ? QString() : QStringLiteral("color: #b00000"));
    FMessageLabel->setText(
        ok ? QStringLiteral("Exported to %1").arg(QFileInfo(name).fileName())
           : QStringLiteral("Export failed: %1: %2").arg(name, file.errorString()));
}

void TStabilityView::RecordButtonClick() {
    if (FRecorder.IsRecording()) {
        FRecorder.Stop();
        return;
    }
    const QString name = ShowSaveDialog(this, {QStringLiteral("CSV file (*.csv)"),
                                               QStringLiteral("csv"), QStringLiteral("Record_")});
    if (name.isEmpty()) {
        return;
    }
    QString error;
    if (!FRecorder.Start(name, &error)) {
        FMessageLabel->setStyleSheet(QStringLiteral("color: #b00000"));
        FMessageLabel->setText(QStringLiteral("Recording not started: %1").arg(error));
        return;
    }
    FRecordButton->setText(QStringLiteral("Stop recording"));
    emit RecordingChanged(name);
    FMessageLabel->setStyleSheet(QString());
    FMessageLabel->setText(QStringLiteral("Recording to %1").arg(QFileInfo(name).fileName()));
}

void TStabilityView::OpenButtonClick() {
    const QString name = ShowOpenDialog(
        this, {QStringLiteral("Recordings and logs (*.csv *.txt *.dat);;All files (*)"), QString(),
               QString()});
    if (name.isEmpty()) {
        return;
    }
    TStabilityFileData data;
    QString error;
    const double nu = FOpticalFrequency(QChar());
    if (!ReadStabilityFile(name, 1.0, nu, &data, &error)) {
        FMessageLabel->setStyleSheet(QStringLiteral("color: #b00000"));
        FMessageLabel->setText(error);
        return;
    }
    auto record = std::make_unique<TStabilityAccumulator>(data.Tau0);
    record->SetOpticalFrequency(nu);
    for (double v : data.Y) {
        record->AddFractional(v);
    }
    FFileRecord = std::move(record);
    FFileName = name;
    FMessageLabel->setStyleSheet(QString());
    FMessageLabel->setText(
        QStringLiteral("%1 (%2), %3 samples; 'Clear' returns to the live record.")
            .arg(QFileInfo(name).fileName(), StabilityFileKindName(data.Kind))
            .arg(data.Y.size()));
    FDirty = true;
    Redraw();
}

// --- the record's header block, notes and axes ---------------------------------------------------

QString TStabilityView::ExportHeader() const {
    const TStabilityAccumulator& acc = Shown();
    const TBeatStatistics st = acc.Statistics();
    TRecordHeader h;
    h.Title = QStringLiteral("Halvane stability export");
    h.Tau0 = acc.Tau0();
    h.SkippedBins = QString::number(st.Gaps);
    if (FFileRecord) {
        h.StartUtc = h.EndUtc =
            QStringLiteral("unknown (file %1)").arg(QFileInfo(FFileName).fileName());
        h.Peak = QStringLiteral("as in the file");
        h.SetPoint = QStringLiteral("as in the file");
    } else {
        const auto utc = [](const QDateTime& t) {
            return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
        };
        h.StartUtc = FRecordStart.isValid() ? utc(FRecordStart) : QStringLiteral("none");
        h.EndUtc = FHasLast ? utc(QDateTime::fromSecsSinceEpoch(FLastSecond + 1, Qt::UTC))
                            : QStringLiteral("none");
        h.Peak = FRecordPeak.isNull() ? QStringLiteral("none") : QString(FRecordPeak);
        h.SetPoint = FRecordSetPointHz > 0
                         ? QStringLiteral("%1 MHz").arg(FRecordSetPointHz / 1e6, 0, 'f', 3)
                         : QStringLiteral("unknown");
    }
    return RecordHeaderText(h) +
           QStringLiteral(
               "# confidence_intervals: %1 %, chi-squared from the equivalent degrees of "
               "freedom of the noise type identified at each tau\n")
               .arg(FConfidence * 100, 0, 'f', 1);
}

QString TStabilityView::RecordNote() const {
    QStringList notes;
    if (!FFileRecord && !FSplitNote.isEmpty())
        notes << FSplitNote;
    const QString missing = MissingTausNote(FShownTable);
    if (!missing.isEmpty())
        notes << missing;
    return notes.join(QLatin1Char('\n'));
}

QString TStabilityView::MissingTausNote(const QList<TDeviationPoint>& table) const {
    const TStabilityAccumulator& acc = Shown();
    const TBeatStatistics st = acc.Statistics();
    if (st.Gaps == 0)
        return QString();
    // The longest tau the record's length allows: the largest power of two up to a third.
    int64_t longest = 0;
    for (int64_t m = 1; m <= st.Bins / 3; m *= 2)
        longest = m;
    const int64_t shown = table.isEmpty() ? 0 : table.last().M;
    if (longest == 0 || shown >= longest)
        return QString();
    return QStringLiteral("Taus from %1 s up are missing: %2 of %3 bins are skipped (link "
                          "losses, seconds without a lock), too few terms are left.")
        .arg(
            QLocale().toString(static_cast<double>(shown > 0 ? shown * 2 : 1) * acc.Tau0(), 'g', 6))
        .arg(st.Gaps)
        .arg(st.Bins);
}

void TStabilityView::SetAxisRanges(const QList<TDeviationPoint>& table, double lo, double hi) {
    // Whole decades around the values, at least two: the log ticker labels only powers of ten
    // then, so no two labels are the same and none collide, and each axis has two labels.
    const auto decades = [](double min, double max, int least) {
        int from = static_cast<int>(std::floor(std::log10(min) + 1e-9));
        int to = static_cast<int>(std::ceil(std::log10(max) - 1e-9));
        if (to - from < least) {
            const int more = least - (to - from);
            from -= more / 2;
            to += more - more / 2;
        }
        return QCPRange(std::pow(10.0, from), std::pow(10.0, to));
    };
    if (table.isEmpty()) {
        FChart->xAxis->setRange(1, 1000);
        FChart->yAxis->setRange(1e-13, 1e-10);
        return;
    }
    FChart->xAxis->setRange(decades(table.first().Tau, table.last().Tau, 2));
    if (!(lo > 0) || !(hi >= lo) || !std::isfinite(hi))
        lo = hi = table.first().Deviation > 0 ? table.first().Deviation : 1e-12;
    FChart->yAxis->setRange(decades(lo, hi, 2));
}
