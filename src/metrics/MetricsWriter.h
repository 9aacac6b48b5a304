#pragma once

#include "metrics/MetricsFile.h"
#include "metrics/MetricsReport.h"

#include <QObject>
#include <QStringList>

class QProcess;
class SystemEvents;

// Writes each cycle's report into the metrics folder without ever waiting for it: a folder on a
// network share that no longer answers can hold any file operation indefinitely, so the file is
// written by a process of its own (this program, started with --write-metrics), which stays for the
// run, takes one report after another on its standard input and answers each with its status on its
// standard output; the event loop hears the answer. Starting it once keeps a process start out of
// every cycle. While an answer is awaited no other report is sent: the cycle counts as not written.
// A writer that ends is started again with the next report. The system log hears of each change of
// the condition once: when writing stops working, and when it works again.
class MetricsWriter : public QObject {
    Q_OBJECT
public:
    static inline const QString kOption = QStringLiteral("--write-metrics");

    // An empty folder writes nothing. `program` and `arguments` start the writer, which gets
    // "--write-metrics" after them; by default this program itself. Each report goes to it as two
    // length-prefixed records, the folder in UTF-8 (not left to the command line's code page) and
    // the text.
    MetricsWriter(QString folder, SystemEvents& events, QString program = {}, QStringList arguments = {},
                  QObject* parent = nullptr);
    ~MetricsWriter() override;

    const QString& folder() const { return folder_; }
    // Hands the report to the writer and returns at once.
    void write(const MetricsReport& report);

    // The body of the writer process: each report from standard input into its file, each answered
    // with one byte, a MetricsFile::Status; it ends with its input.
    static int runWriter();

signals:
    void written(MetricsFile::Status status);

private:
    void settle(MetricsFile::Status status);
    bool startWriter();
    void readAnswers();

    QString folder_;
    SystemEvents& events_;
    QString program_;
    QStringList arguments_;
    QProcess* process_ = nullptr;
    bool awaiting_ = false;
    MetricsFile::Status condition_ = MetricsFile::Status::Written;
};
