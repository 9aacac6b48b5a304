#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// What the logic needs of the operating system, gathered in one place so that tests can
// replace it and each OS gets one implementation file.
class Platform {
public:
    enum class FileMask {
        OrdinaryOnly,  // regular files that are not hidden
        IncludeHidden, // regular files, hidden or not
    };
    enum class MessageIcon { None, Warning };

    virtual ~Platform() = default;

    // The implementation for the system this program was built for.
    static std::unique_ptr<Platform> forThisSystem();

    // Whether `name`, taken whole as one file name (no wildcard expansion), names an existing file
    // allowed by `mask`. Directories, devices, sockets and pipes are never found.
    virtual bool fileExists(const QString& name, FileMask mask) const = 0;

    // Today's date in the user's short date format, and the time of day as "hh:mm:ss" (00-23).
    virtual QString dateText() const = 0;
    virtual QString timeText() const = 0;

    // The time of day now. Someone may set it back or forward at any moment: it says when, never how long.
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    // Milliseconds on a clock that only goes forward, at the pace of real time, whatever is done to the time of
    // day: how long something took, or how long ago it was.
    virtual qint64 monotonicMs() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    // Variables set for a started program beyond this program's own environment, as "NAME", "value".
    using Environment = QList<QPair<QString, QString>>;

    // Starts the program file `path` directly (no shell, no arguments) without waiting for it, with `environment`
    // added to its environment. False when it could not be started.
    virtual bool startProgram(const QString& path, const Environment& environment) = 0;

    // Opens a text file in the desktop's text editor without waiting. False when that failed at once; where the
    // opener can fail after it started (the desktop's handler needs a terminal that is not there), `failedLater`
    // is called on this thread when it does.
    virtual bool openInTextEditor(const QString& path, const std::function<void()>& failedLater) = 0;

    // Modal message box with a single OK button.
    virtual void messageBox(const QString& text, const QString& caption, MessageIcon icon) = 0;
};
