#pragma once

#include "diagnosis/CheckResult.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The findings as the user pastes them into a public bug report: as text, one line per check and a
// summary, or as one JSON document. Every string passes scrub() on the way in, a safety net behind
// the checks, which put in nothing private to start with.
class DiagnosisReport {
public:
    explicit DiagnosisReport(QList<CheckResult> checks);

    // The home folders written "~", and the users' and the machine's names taken out (see PrivateNames).
    static QString scrub(const QString& text);

    QString text() const;
    QByteArray json() const;
    // 0 all ok, 1 with warnings, 2 with a failure.
    int exitCode() const;
    // "Pylvane 1.0.0 diagnosis: 11 ok, 1 warning, 0 failures"
    QString summaryLine() const;

private:
    int count(CheckResult::Verdict verdict) const;

    QList<CheckResult> checks_;
};
