#pragma once

#include <QString>

#include <memory>

// The file pylvane.pid in the state folder, by which a running Pylvane can be found and asked to check now, and by
// which a run learns that the one before it did not end in order (killed, or stopped by the service manager's
// watchdog). The running program holds a lock on it for as long as it runs, so a marker left by a run that is gone
// is never taken for a running one, whatever process has its number now; it empties the file at its orderly end.
class RunMarker {
public:
    static inline const QString kFileName = QStringLiteral("pylvane.pid");

    // What the marker said of the run before this one.
    struct Previous {
        bool unorderlyEnd = false; // it ran and did not end in order
        qint64 pid = 0;
        QString started; // when it started, RFC 3339; empty when not known
    };

    // Takes the marker in `folder` (a folder of the user's own, already made). Nothing when it cannot, and then
    // `problem` says why: another Pylvane runs with this folder, or the file may not be used.
    static std::unique_ptr<RunMarker> take(const QString& folder, QString* problem);
    virtual ~RunMarker() = default;

    const Previous& previous() const { return previous_; }
    // Empties the file: the next run finds an orderly end.
    virtual void orderlyEnd() = 0;

    enum class Asked { Yes, NoneRuns, NotAllowed };
    // Asks the Pylvane that runs with `folder` to check now; `message` says what came of it.
    static Asked askToCheck(const QString& folder, QString* message);

protected:
    RunMarker() = default;
    Previous previous_;
};
