#include "metrics/MetricsWriter.h"

#include "metrics/MetricsText.h"
#include "systemlog/SystemEvents.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <cstdio>

MetricsWriter::MetricsWriter(QString folder, SystemEvents& events, QString program, QStringList arguments,
                             QObject* parent)
    : QObject(parent), folder_(std::move(folder)), events_(events), program_(std::move(program)),
      arguments_(std::move(arguments))
{
}

MetricsWriter::~MetricsWriter()
{
    if (process_ == nullptr || process_->state() == QProcess::NotRunning)
        return;
    process_->disconnect(this);
    process_->kill();
    // One stuck inside a call on a share that does not answer dies only when the call returns: it is
    // let go rather than waited for, which deleting it would do.
    if (!process_->waitForFinished(100)) {
        process_->setParent(nullptr);
        process_ = nullptr;
    }
}

void MetricsWriter::write(const MetricsReport& report)
{
    if (folder_.isEmpty())
        return;
    if (process_ != nullptr) {
        settle(MetricsFile::Status::NoAnswer);
        return;
    }
    process_ = new QProcess(this);
    process_->setProgram(program_.isEmpty() ? QCoreApplication::applicationFilePath() : program_);
    process_->setArguments(arguments_ + QStringList{kOption});
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->setStandardOutputFile(QProcess::nullDevice());
    connect(process_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus exitStatus) {
        process_->deleteLater();
        process_ = nullptr;
        const bool known = exitStatus == QProcess::NormalExit && exitCode >= 0 &&
                           exitCode <= int(MetricsFile::Status::FileRefused);
        settle(known ? MetricsFile::Status(exitCode) : MetricsFile::Status::Failed);
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process_->deleteLater();
        process_ = nullptr;
        settle(MetricsFile::Status::Failed);
    });
    // Held here, as a start that fails at once lets process_ go.
    QProcess* const process = process_;
    process->start();
    // Buffered by QProcess and written as the pipe takes it.
    process->write(folder_.toUtf8() + '\0' + MetricsText::render(report));
    process->closeWriteChannel();
}

void MetricsWriter::settle(MetricsFile::Status status)
{
    emit written(status);
    if (status == condition_)
        return;
    if (status == MetricsFile::Status::Written)
        events_.metricsWrittenAgain(folder_);
    else
        events_.metricsNotWritten(folder_, MetricsFile::reasonOf(status));
    condition_ = status;
}

int MetricsWriter::runWriter()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return int(MetricsFile::Status::Failed);
    const QByteArray bytes = input.readAll();
    const qsizetype end = bytes.indexOf('\0');
    if (end <= 0)
        return int(MetricsFile::Status::Failed);
    return int(MetricsFile::write(QString::fromUtf8(bytes.left(end)), bytes.mid(end + 1)));
}
