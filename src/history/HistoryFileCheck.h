#pragma once

#include <QString>

// Whether history.sqlite in a folder may be read: a real folder of the user's own that no one else may change,
// holding a regular file of the user's own with one name, and no link or other user's file in the place of its
// -wal or -shm, which SQLite would open beside it. Each is judged on what was opened, never through a link.
class HistoryFileCheck {
public:
    enum Result { Ok, Missing, Refused };
    // `why` says what was refused.
    static Result check(const QString& folder, QString* why);
};
