#include "diagnosis/DiagnosisReport.h"

#include "diagnosis/PrivateNames.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString verdictWord(CheckResult::Verdict verdict)
{
    switch (verdict) {
    case CheckResult::Verdict::Ok:
        return QStringLiteral("ok");
    case CheckResult::Verdict::Warn:
        return QStringLiteral("warn");
    case CheckResult::Verdict::Fail:
        return QStringLiteral("fail");
    case CheckResult::Verdict::Info:
        return QStringLiteral("info");
    case CheckResult::Verdict::NotApplicable:
        break;
    }
    return QStringLiteral("n/a");
}

// The word in brackets; a check that does not apply here is "[--]".
QString verdictTag(CheckResult::Verdict verdict)
{
    return verdict == CheckResult::Verdict::NotApplicable ? QStringLiteral("[--]")
                                                          : QLatin1Char('[') + verdictWord(verdict) + QLatin1Char(']');
}

QJsonValue scrubbed(const QJsonValue& value)
{
    if (value.isString())
        return DiagnosisReport::scrub(value.toString());
    if (value.isArray()) {
        QJsonArray result;
        for (const QJsonValue& item : value.toArray())
            result.append(scrubbed(item));
        return result;
    }
    return value;
}

QJsonObject scrubbed(const QJsonObject& values)
{
    QJsonObject result;
    for (auto it = values.begin(); it != values.end(); ++it)
        result.insert(it.key(), scrubbed(*it));
    return result;
}

QString plural(int n, const QString& one, const QString& many)
{
    return QString::number(n) + QLatin1Char(' ') + (n == 1 ? one : many);
}

} // namespace

DiagnosisReport::DiagnosisReport(QList<CheckResult> checks) : checks_(std::move(checks))
{
    for (CheckResult& check : checks_) {
        check.name = scrub(check.name);
        check.summary = scrub(check.summary);
        check.remedy = scrub(check.remedy);
        check.values = scrubbed(check.values);
    }
}

QString DiagnosisReport::scrub(const QString& text)
{
    return PrivateNames::here().scrub(text);
}

int DiagnosisReport::count(CheckResult::Verdict verdict) const
{
    return int(std::count_if(checks_.begin(), checks_.end(),
                             [verdict](const CheckResult& check) { return check.verdict == verdict; }));
}

QString DiagnosisReport::summaryLine() const
{
    return QStringLiteral("Pylvane " PYLVANE_VERSION " diagnosis: %1 ok, %2, %3")
        .arg(count(CheckResult::Verdict::Ok))
        .arg(plural(count(CheckResult::Verdict::Warn), QStringLiteral("warning"), QStringLiteral("warnings")),
             plural(count(CheckResult::Verdict::Fail), QStringLiteral("failure"), QStringLiteral("failures")));
}

int DiagnosisReport::exitCode() const
{
    if (count(CheckResult::Verdict::Fail) > 0)
        return 2;
    return count(CheckResult::Verdict::Warn) > 0 ? 1 : 0;
}

QString DiagnosisReport::text() const
{
    QString text;
    for (const CheckResult& check : checks_) {
        text += verdictTag(check.verdict).leftJustified(7) + check.name + QStringLiteral(": ") + check.summary +
                QLatin1Char('.');
        if (!check.remedy.isEmpty())
            text += QLatin1Char(' ') + check.remedy;
        text += QLatin1Char('\n');
    }
    return text + summaryLine() + QLatin1Char('\n');
}

QByteArray DiagnosisReport::json() const
{
    QJsonArray checks;
    for (const CheckResult& check : checks_) {
        checks.append(QJsonObject{{QStringLiteral("id"), check.id},
                                  {QStringLiteral("name"), check.name},
                                  {QStringLiteral("verdict"), verdictWord(check.verdict)},
                                  {QStringLiteral("summary"), check.summary},
                                  {QStringLiteral("remedy"), check.remedy},
                                  {QStringLiteral("values"), check.values}});
    }
    const QJsonObject document{{QStringLiteral("version"), QStringLiteral(PYLVANE_VERSION)},
                               {QStringLiteral("ok"), count(CheckResult::Verdict::Ok)},
                               {QStringLiteral("warnings"), count(CheckResult::Verdict::Warn)},
                               {QStringLiteral("failures"), count(CheckResult::Verdict::Fail)},
                               {QStringLiteral("summary"), summaryLine()},
                               {QStringLiteral("checks"), checks}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}
