#include "ui/DiagnosisWindow.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The diagnosis bounds itself to 5 s; a report that has not come by then will not.
constexpr int kReportLimitMs = 15'000;

} // namespace

DiagnosisWindow::DiagnosisWindow(QString program, QStringList arguments, QWidget* parent)
    : QWidget(parent, Qt::Window), program_(program.isEmpty() ? QCoreApplication::applicationFilePath() : program),
      arguments_(program.isEmpty() ? QStringList{QStringLiteral("--diagnose")} : std::move(arguments))
{
    setObjectName(QStringLiteral("DiagnosisWindow"));
    setWindowTitle(QStringLiteral("Pylvane diagnosis"));
    setAccessibleName(windowTitle());
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("Report"));
    text_->setReadOnly(true);
    // Read-only text still takes the focus, so that the keyboard can select and scroll it.
    text_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setAccessibleName(QStringLiteral("Diagnosis report"));
    text_->setAccessibleDescription(
        QStringLiteral("One line for each check Pylvane relies on: ok, warning, failure, or does not apply here."));
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
    resize(640, 360);

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
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, process_, &QProcess::kill);
    limit->start(kReportLimitMs);
}

void DiagnosisWindow::finished()
{
    if (process_ == nullptr)
        return;
    QString text = QString::fromUtf8(process_->readAllStandardOutput()).trimmed();
    if (text.isEmpty() || process_->exitStatus() != QProcess::NormalExit ||
        process_->error() == QProcess::FailedToStart) {
        const QString why =
            process_->exitStatus() == QProcess::NormalExit && process_->error() != QProcess::FailedToStart
                ? QStringLiteral("it ended with exit code %1").arg(process_->exitCode())
                : process_->errorString();
        text = QStringLiteral("The diagnosis could not run: %1.\n%2")
                   .arg(why, QString::fromUtf8(process_->readAllStandardError()).trimmed());
    }
    // Windows consoles end lines with CR LF; the clipboard gets the system's own.
    text.remove(QLatin1Char('\r'));
    process_->deleteLater();
    process_ = nullptr;
    text_->setPlainText(text);
    copy_->setEnabled(true);
    emit reportReady();
}

QString DiagnosisWindow::report() const
{
    return text_->toPlainText();
}

void DiagnosisWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
