#pragma once

#include <QString>

// The folder of status.json, history.sqlite, the run's marker (RunMarker) and what else a run keeps between
// cycles: the one given with --state-dir; for a run under the service manager, the first of $STATE_DIRECTORY; for
// the commands that ask a running Pylvane (--status, --check-now), $PYLVANE_STATE_DIR; otherwise the user's own
// state folder. The log stays in the working directory.
class StateFolder {
public:
    enum class For { Run, Asking };

    static QString chosen(const QString& given, For use);

    // Why `folder` may not hold a run's state; empty when it may (a missing folder may: it is made private).
    // Refused: a symbolic link that someone other than root placed or could replace (the service manager links the
    // state folders of a service with a user of its own, as root), something that is not a folder, and a folder
    // that other users may write. For a run, also another user's folder, which the status file would refuse anyway.
    static QString refusal(const QString& folder, For use);

    // The folder with the link that root placed followed, for the readers that follow none; `folder` itself
    // otherwise.
    static QString resolved(const QString& folder);

    // Makes a missing folder, private to the user; false when it cannot.
    static bool make(const QString& folder);
};
