#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// pylvane.prom in the metrics folder, replaced whole in one rename so that an exporter never reads
// half a file. The folder may be shared with others (1777, or writable by a group), so nothing in it
// is opened by its name except a temporary file of the writer's own, made new (it fails where any
// name is already there, a link included) under a random name, written and flushed to the disk with
// every call checked, and then renamed over pylvane.prom. A rename replaces whatever name stands
// there, a link an attacker planted included, and never writes through it, so there is no look
// before it that someone could race. A write or flush that fails (a full disk) leaves the old file
// in place and removes the temporary one. A folder reached through a link is used, as an
// administrator may well link the exporter's folder.
// QSaveFile is not used: it opens a link standing at the name and writes where it points, and on a
// full disk its commit() still succeeds on Qt 6.4, so an empty file would replace the good one.
class MetricsFile {
public:
    static inline const QString kFileName = QStringLiteral("pylvane.prom");

    // Also the exit status of the process that writes the file (see MetricsWriter).
    enum class Status {
        Written = 0,
        Failed = 1, // the writer ended otherwise
        FolderMissing = 2,
        NotAFolder = 3,
        NotWritable = 4,
        FileRefused = 5, // a folder stands at pylvane.prom
        NoAnswer = 6,    // the last writer had not ended when the next cycle came
        DiskFull = 7,
    };

    static Status write(const QString& folder, const QByteArray& text);
    // The same under the temporary name given, which tests choose so as to have something standing there.
    static Status writeAs(const QString& folder, const QByteArray& text, const QString& temporary);
    // Why the file was not written, as the event says it.
    static QString reasonOf(Status status);
    // Whether a writer process may answer with `code` (NoAnswer is the caller's own).
    static bool isAnswer(int code);

    // The temporary file's name, ".pylvane.prom.<pid>.<random>": hidden, and not ending in ".prom",
    // so no exporter reads it meanwhile.
    static QString temporaryName(qint64 pid);
    // The pid of the writer whose temporary file `name` is; nothing for any other name.
    static std::optional<qint64> writerOf(const QString& name);

    // Temporary files of this user's that a writer killed before its rename left behind: those whose
    // writer no longer runs, or older than a minute. Links and others' files are left alone.
    static void removeLeftovers(const QString& folder);
};
