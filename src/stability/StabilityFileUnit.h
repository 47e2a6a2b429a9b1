#pragma once
// Reading stability records back from the three kinds of file the program knows:
//  - the measurement recording (CSV, header "kind,time_utc,beat_hz,..."): one row per 1-s bin
//    of the beat note, event rows in between (ignored here); missing seconds are gaps;
//  - the frequency-difference log, lines "elapsed ms;kHz": the reports are averaged into bins
//    of tau0 by their elapsed time, bins without a report are gaps;
//  - a plain file with one fractional-frequency value per line ("nan" marks a missing one).
// Lines starting with '#' and empty lines are skipped in every kind. Values in Hz become
// fractional frequencies by dividing by the optical frequency nu.

#include <QString>

#include <cstdint>
#include <vector>

enum class TStabilityFileKind { _recording, _freqdiff_log, _fractional };

struct TStabilityFileData {
    TStabilityFileKind Kind = TStabilityFileKind::_fractional;
    double Tau0 = 1;       // seconds per sample (1 for a recording)
    std::vector<double> Y; // fractional frequency per sample, NaN for a missing one
    int64_t Lines = 0;     // lines read
};

// The recording's header line.
extern const char* const RecordingHeader;

// How the bins of the live record and of the recording are made (the header blocks say it).
extern const char* const BinIntervalsText;

// The header block of a recording or an export: '#' lines naming the record. Fields that are
// not known yet are written later in place: FieldWidth characters are reserved for them.
struct TRecordHeader {
    QString Title;    // "Halvane measurement recording"
    QString StartUtc; // ISO 8601
    QString EndUtc;   // ISO 8601, or reserved
    double Tau0 = 1;
    QString Peak;     // the locked peak's letter, or "none"
    QString SetPoint; // "150.000 MHz", or "unknown"
    QString SkippedBins;
    static constexpr int FieldWidth = 24;
};
// The lines, each ending in '\n'.
QString RecordHeaderText(const TRecordHeader& header);

// False with "FILE:LINE: reason" (or "FILE: reason") when the file cannot be read or a line is
// not of the file's kind. An empty file is not an error (no samples).
bool ReadStabilityFile(const QString& fileName, double tau0, double nuHz, TStabilityFileData* data,
                       QString* error);

// The same over text already in memory (name only for the messages).
bool ParseStabilityText(const QByteArray& text, const QString& name, double tau0, double nuHz,
                        TStabilityFileData* data, QString* error);

QString StabilityFileKindName(TStabilityFileKind kind);
