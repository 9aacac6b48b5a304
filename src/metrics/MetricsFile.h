#pragma once

#include <QByteArray>
#include <QString>

// pylvane.prom in the metrics folder, replaced whole in one rename so that an exporter never reads
// half a file. A folder reached through a symlink is used, as an administrator may well link the
// exporter's folder; but pylvane.prom itself must be a regular file or absent: a symlink there,
// which someone else who may write the folder could plant to have Pylvane overwrite a file of the
// user's, is refused, and the rename replaces the name itself, never what a link points at.
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
        FileRefused = 5,
        NoAnswer = 6, // the last writer had not ended when the next cycle came
    };

    static Status write(const QString& folder, const QByteArray& text);
    // Why the file was not written, as the event says it.
    static QString reasonOf(Status status);

    // Temporary files that a writer killed before its rename left behind and that no running
    // writer can still be using. They do not end in ".prom", so no exporter reads them meanwhile.
    static void removeLeftovers(const QString& folder);
};
