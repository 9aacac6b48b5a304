#include "history/CsvText.h"

#include "outcome/StatusFile.h"

QString CsvText::field(const QString& value)
{
    QString text = value;
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && kFormulaStarts.contains(text.front()))
        text.prepend(QLatin1Char('\''));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\r')) ||
        text.contains(QLatin1Char('\n'))) {
        text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

QString CsvText::row(const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& value : fields)
        quoted << field(value);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString CsvText::time(const QDateTime& time)
{
    // The same form as status.json's times, which Qt::ISODate is not: it writes "Z" for UTC.
    return StatusFile::timeText(time);
}
