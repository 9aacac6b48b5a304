#pragma once

#include <QByteArray>
#include <QString>

// A file the user chose to export into, written whole or not at all: the bytes go into a new file of the program's
// own beside it (never one that was there, never through a link), are flushed to the disk, and only then take the
// chosen name, replacing whatever had it, a planted link included, without following it. A full disk or any other
// failed write is a failure, and leaves the chosen name as it was.
class ExportFile {
public:
    // `why` says what failed.
    static bool write(const QString& path, const QByteArray& bytes, QString* why);
};
