#pragma once

#include "metrics/MetricsFile.h"
#include "metrics/MetricsReport.h"

#include <QObject>
#include <QStringList>

class QProcess;
class SystemEvents;

// Writes each cycle's report into the metrics folder without ever waiting for it: a folder on a
// network share that no longer answers can hold any file operation indefinitely, so the file is
// written by a process of its own (this program, started with --write-metrics), which the event
// loop hears from when it ends. While the last such process has not ended no other one starts;
// the cycle counts as not written. The system log hears of each change of that condition once: when
// writing stops working, and when it works again.
class MetricsWriter : public QObject {
    Q_OBJECT
public:
    static inline const QString kOption = QStringLiteral("--write-metrics");

    // An empty folder writes nothing. `program` and `arguments` start the writer, which gets
    // "--write-metrics" after them, and on its standard input the folder in UTF-8, a null byte and
    // the text (the folder's name is not left to the command line's code page); by default this
    // program itself.
    MetricsWriter(QString folder, SystemEvents& events, QString program = {}, QStringList arguments = {},
                  QObject* parent = nullptr);
    ~MetricsWriter() override;

    const QString& folder() const { return folder_; }
    // Hands the report to a new writer and returns at once.
    void write(const MetricsReport& report);

    // The body of the writer process: standard input as write() sends it, into the file; the exit
    // status is a MetricsFile::Status.
    static int runWriter();

signals:
    void written(MetricsFile::Status status);

private:
    void settle(MetricsFile::Status status);

    QString folder_;
    SystemEvents& events_;
    QString program_;
    QStringList arguments_;
    QProcess* process_ = nullptr;
    MetricsFile::Status condition_ = MetricsFile::Status::Written;
};
