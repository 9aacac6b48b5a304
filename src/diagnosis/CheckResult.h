#pragma once

#include <QJsonObject>
#include <QString>

// The finding of one check of `pylvane --diagnose`.
struct CheckResult {
    // Info tells what is so and asks for nothing, such as whether Pylvane starts at sign-in.
    enum class Verdict { Ok, Warn, Fail, NotApplicable, Info };

    QString id;      // stable, lowercase: "echo", "process-lookup"
    QString name;    // what the text line starts with: "Echo"
    Verdict verdict = Verdict::Ok;
    QString summary; // what was found, one or more clauses without a final full stop
    QString remedy;  // one sentence on what to do; empty for none
    QJsonObject values; // measured: times in ms, counts, booleans

    void set(Verdict v, const QString& text, const QString& what = {})
    {
        verdict = v;
        summary = text;
        remedy = what;
    }
    // A worse finding replaces a better one, and its remedy goes with it.
    void worsen(Verdict v, const QString& text, const QString& what)
    {
        if (verdict == Verdict::NotApplicable || verdict == Verdict::Info ||
            (v != Verdict::NotApplicable && v != Verdict::Info && int(v) > int(verdict))) {
            verdict = v;
            remedy = what;
        }
        summary += QStringLiteral("; ") + text;
    }
};
