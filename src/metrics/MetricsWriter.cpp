#include "metrics/MetricsWriter.h"

#include "metrics/MetricsText.h"
#include "systemlog/SystemEvents.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <cstdio>
#include <optional>

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
    // An idle writer ends with its input.
    process_->closeWriteChannel();
    if (process_->waitForFinished(100))
        return;
    process_->kill();
    // One stuck inside a call on a share that does not answer dies only when the call returns: it is
    // let go rather than waited for, which deleting it would do.
    if (!process_->waitForFinished(100)) {
        process_->setParent(nullptr);
        process_ = nullptr;
    }
}

namespace {

QByteArray record(const QByteArray& bytes)
{
    char size[4];
    qToLittleEndian<quint32>(quint32(bytes.size()), size);
    return QByteArray(size, sizeof size) + bytes;
}

// One length-prefixed record from standard input; nothing at its end.
std::optional<QByteArray> readRecord(QFile& input)
{
    const QByteArray size = input.read(4);
    if (size.size() != 4)
        return std::nullopt;
    const auto length = qsizetype(qFromLittleEndian<quint32>(size.constData()));
    QByteArray bytes = input.read(length);
    return bytes.size() == length ? std::optional(bytes) : std::nullopt;
}

} // namespace

void MetricsWriter::write(const MetricsReport& report)
{
    if (folder_.isEmpty())
        return;
    if (awaiting_) {
        settle(MetricsFile::Status::NoAnswer);
        return;
    }
    if (process_ == nullptr && !startWriter())
        return;
    awaiting_ = true;
    // Buffered by QProcess and written as the pipe takes it.
    process_->write(record(folder_.toUtf8()) + record(MetricsText::render(report)));
}

bool MetricsWriter::startWriter()
{
    process_ = new QProcess(this);
    process_->setProgram(program_.isEmpty() ? QCoreApplication::applicationFilePath() : program_);
    process_->setArguments(arguments_ + QStringList{kOption});
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(process_, &QProcess::readyReadStandardOutput, this, &MetricsWriter::readAnswers);
    connect(process_, &QProcess::finished, this, [this] {
        readAnswers();
        process_->deleteLater();
        process_ = nullptr;
        if (awaiting_) {
            awaiting_ = false;
            settle(MetricsFile::Status::Failed);
        }
    });
    QProcess* const process = process_; // a start that fails at once lets process_ go
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || process_ != process)
            return;
        process_->deleteLater();
        process_ = nullptr;
        awaiting_ = false;
        settle(MetricsFile::Status::Failed);
    });
    process->start();
    return process_ != nullptr;
}

void MetricsWriter::readAnswers()
{
    for (const char answer : process_->readAllStandardOutput()) {
        if (!awaiting_)
            continue;
        awaiting_ = false;
        const int code = static_cast<unsigned char>(answer);
        settle(MetricsFile::isAnswer(code) ? MetricsFile::Status(code) : MetricsFile::Status::Failed);
    }
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
    QFile output;
    if (!input.open(stdin, QIODevice::ReadOnly) || !output.open(stdout, QIODevice::WriteOnly))
        return int(MetricsFile::Status::Failed);
    for (;;) {
        const std::optional<QByteArray> folder = readRecord(input);
        const std::optional<QByteArray> text = folder ? readRecord(input) : std::nullopt;
        if (!text)
            return 0;
        const MetricsFile::Status status = MetricsFile::write(QString::fromUtf8(*folder), *text);
        output.putChar(char(status));
        output.flush();
    }
}
