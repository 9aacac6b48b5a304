#include "ui/DiagnosisWindow.h"

#include "diagnosis/Diagnosis.h"
#include "diagnosis/DiagnosisReport.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QProcess>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

using Verdict = CheckResult::Verdict;

namespace {

// The diagnosis bounds itself to 5 s; a report that has not come by then will not.
constexpr int kReportLimitMs = 15'000;

// Each verdict's mark differs in shape, not only in colour, and its word stands beside it.
struct Mark {
    QString shape;
    QString word;
};

Mark markOf(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Ok:
        return {QStringLiteral("\u2714"), QStringLiteral("ok")};
    case Verdict::Warn:
        return {QStringLiteral("\u25B2"), QStringLiteral("warning")};
    case Verdict::Fail:
        return {QStringLiteral("\u2716"), QStringLiteral("failure")};
    case Verdict::Info:
        return {QStringLiteral("\u2139"), QStringLiteral("information")};
    case Verdict::NotApplicable:
        break;
    }
    return {QStringLiteral("\u25CB"), QStringLiteral("does not apply")};
}

Verdict verdictOf(const QString& word)
{
    if (word == QStringLiteral("ok"))
        return Verdict::Ok;
    if (word == QStringLiteral("warn"))
        return Verdict::Warn;
    if (word == QStringLiteral("fail"))
        return Verdict::Fail;
    if (word == QStringLiteral("info"))
        return Verdict::Info;
    return Verdict::NotApplicable;
}

} // namespace

DiagnosisWindow::DiagnosisWindow(QString program, QStringList arguments, QWidget* parent)
    : QWidget(parent, Qt::Window), program_(program.isEmpty() ? QCoreApplication::applicationFilePath() : program),
      arguments_(program.isEmpty() ? QStringList{QStringLiteral("--diagnose"), QStringLiteral("--json")}
                                   : std::move(arguments))
{
    setObjectName(QStringLiteral("DiagnosisWindow"));
    setWindowTitle(QStringLiteral("Pylvane diagnosis"));
    setAccessibleName(windowTitle());
    text_ = new QTextEdit(this);
    text_->setObjectName(QStringLiteral("Report"));
    text_->setReadOnly(true);
    // Read-only text still takes the focus, so that the keyboard can select and scroll it.
    text_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    text_->setLineWrapMode(QTextEdit::WidgetWidth);
    text_->setAccessibleName(QStringLiteral("Diagnosis report"));
    text_->setAccessibleDescription(QStringLiteral(
        "One line for each check Pylvane relies on: ok, warning, failure, or does not apply here, with what to do "
        "under it."));
    copy_ = new QPushButton(QStringLiteral("Copy"), this);
    copy_->setObjectName(QStringLiteral("Copy"));
    copy_->setAccessibleDescription(QStringLiteral("Copies the report, to paste into a bug report"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    setTabOrder(text_, copy_);
    setTabOrder(copy_, close);
    resize(640, 420);

    connect(copy_, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(report()); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

DiagnosisWindow::~DiagnosisWindow()
{
    if (process_ != nullptr) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(1'000);
    }
}

void DiagnosisWindow::showAndRun()
{
    show();
    raise();
    activateWindow();
    text_->setFocus();
    if (process_ != nullptr)
        return;
    copy_->setEnabled(false);
    report_.clear();
    text_->setPlainText(QStringLiteral("Checking what Pylvane relies on; this takes up to 5 seconds…"));
    process_ = new QProcess(this);
    connect(process_, &QProcess::finished, this, &DiagnosisWindow::finished);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finished();
    });
    process_->start(program_, arguments_);
    // Ends a report that never comes, so that the window says so rather than "Checking" for good.
    QTimer* const limit = new QTimer(process_);
    limit->setObjectName(QStringLiteral("ReportLimit"));
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, process_, [this] {
        process_->setProperty("stoppedAtLimit", true);
        process_->kill();
    });
    limit->start(kReportLimitMs);
}

void DiagnosisWindow::finished()
{
    if (process_ == nullptr)
        return;
    const QByteArray output = process_->readAllStandardOutput();
    const bool ended = process_->exitStatus() == QProcess::NormalExit && process_->error() != QProcess::FailedToStart;
    if (QString::fromUtf8(output).trimmed().isEmpty() || !ended) {
        // Killed by this window at its limit: said as such, not as the crash that Qt calls every kill.
        const QString why = process_->property("stoppedAtLimit").toBool()
                                ? QStringLiteral("it was stopped at its limit of %1 s, before it gave its report")
                                      .arg(kReportLimitMs / 1000)
                            : ended ? QStringLiteral("it ended with exit code %1").arg(process_->exitCode())
                                    : process_->errorString();
        report_ = QStringLiteral("The diagnosis could not run: %1.\n%2")
                      .arg(why, QString::fromUtf8(process_->readAllStandardError()).trimmed())
                      .trimmed();
        text_->setPlainText(report_);
    } else {
        showReport(output);
    }
    process_->deleteLater();
    process_ = nullptr;
    copy_->setEnabled(true);
    emit reportReady();
}

void DiagnosisWindow::showReport(const QByteArray& output)
{
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(output, &error).object();
    if (error.error != QJsonParseError::NoError || !document.contains(QStringLiteral("checks"))) {
        // Windows consoles end lines with CR LF; the clipboard gets the system's own.
        report_ = QString::fromUtf8(output).remove(QLatin1Char('\r')).trimmed();
        text_->setPlainText(report_);
        return;
    }
    QList<CheckResult> checks;
    for (const QJsonValue& entry : document.value(QStringLiteral("checks")).toArray()) {
        CheckResult check;
        check.id = entry[QStringLiteral("id")].toString();
        check.name = entry[QStringLiteral("name")].toString();
        check.set(verdictOf(entry[QStringLiteral("verdict")].toString()), entry[QStringLiteral("summary")].toString(),
                  entry[QStringLiteral("remedy")].toString());
        check.values = entry[QStringLiteral("values")].toObject();
        checks << check;
    }
    const DiagnosisReport report(checks);
    const bool stopped = document.value(QStringLiteral("stopped_at_limit")).toBool();
    report_ = report.text() + (stopped ? Diagnosis::stoppedNote() + QLatin1Char('\n') : QString());

    // A hanging indent: the mark and its word stand out on the left; wrapped text and the remedy line up under the
    // line's text.
    text_->clear();
    const qreal indent = text_->fontMetrics().horizontalAdvance(QStringLiteral("\u2716 does not apply  "));
    QTextCursor cursor(text_->document());
    QTextCharFormat plain;
    QTextCharFormat strong;
    strong.setFontWeight(QFont::Bold);
    QTextCharFormat remedy;
    remedy.setFontItalic(true);
    bool first = true;
    const auto block = [&cursor, &first](qreal left, qreal firstLine, qreal above) {
        QTextBlockFormat format;
        format.setLeftMargin(left);
        format.setTextIndent(firstLine);
        format.setTopMargin(above);
        if (first)
            cursor.setBlockFormat(format);
        else
            cursor.insertBlock(format);
        first = false;
    };
    for (const CheckResult& check : checks) {
        const Mark mark = markOf(check.verdict);
        block(indent, -indent, 4);
        cursor.insertText(mark.shape + QLatin1Char(' ') + mark.word, strong);
        cursor.insertText(QStringLiteral("  ") + DiagnosisReport::scrub(check.name) + QStringLiteral(": ") +
                              DiagnosisReport::scrub(check.summary) + QLatin1Char('.'),
                          plain);
        if (!check.remedy.isEmpty()) {
            block(indent, 0, 0);
            cursor.insertText(DiagnosisReport::scrub(check.remedy), remedy);
        }
    }
    block(0, 0, 8);
    cursor.insertText(report.summaryLine(), strong);
    if (stopped) {
        block(0, 0, 4);
        cursor.insertText(Diagnosis::stoppedNote(), plain);
    }
    text_->moveCursor(QTextCursor::Start);
}

QString DiagnosisWindow::report() const
{
    return report_;
}

void DiagnosisWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
