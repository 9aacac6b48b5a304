#pragma once

#include <QString>

// Whether history.sqlite in a folder may be read: a real folder of the user's own that no one else may change,
// holding a regular file of the user's own with one name, and no link or other user's file in the place of its
// -wal or -shm, which SQLite would open beside it. Each is judged on what was opened, never through a link.
class HistoryFileCheck {
public:
    enum Result { Ok, Missing, Refused };
    // `why` says what was refused. With `serviceForRoot`, root may read the history of a service that runs as
    // another user (its folder asked for by name): the files are then to be the folder's owner's.
    static Result check(const QString& folder, QString* why, bool serviceForRoot = false);
};
