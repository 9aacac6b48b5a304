#pragma once

#include <QString>
#include <QStringList>

// The history's files in the state folder, judged before SQLite opens them: the database and the two files SQLite
// keeps beside it in WAL mode. SQLite would follow a link planted at any of them, write into a folder standing under
// the name, or take another user's file as its own; each is refused instead, and the history is off for the run.
namespace HistoryFiles {

// "history.sqlite", "history.sqlite-wal", "history.sqlite-shm"
QStringList names();

// Makes `folder` when missing, private to the user like the status file's, and judges it and the three names. Only a
// folder that no one else may change passes, so nothing can be put under a name between this look and SQLite's open.
// Empty when SQLite may open the database there; otherwise why not: "history.sqlite-wal is a link".
QString prepare(const QString& folder);

// The same judgement without making anything, for --diagnose; a missing folder is no fault.
QString judge(const QString& folder);

// Moves a damaged database and its two companions aside as "history.sqlite.damaged-<stamp>" (with "-wal" and
// "-shm" after the stamp), so that a new one can start and the old one can still be looked at. False when the
// database itself could not be moved.
bool setAside(const QString& folder, const QString& stamp);

// The names of databases set aside earlier in `folder`.
QStringList setAsideFiles(const QString& folder);

} // namespace HistoryFiles
