#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The settings file on disk. Nothing but a regular file is ever opened or replaced, so a FIFO,
// a device or a folder at the path (or at the end of a symlink) is never read from, waited on
// or turned into a file.
class SettingsFile {
public:
    enum class State {
        Read,    // the bytes are the file's
        Missing, // there is no file (or no folder for it) yet
        Refused, // something is there that may not or cannot be read
    };
    struct Contents {
        State state = State::Missing;
        QByteArray bytes;
    };

    // Files larger than this are no settings file and are left alone.
    static constexpr qsizetype kMaxSize = 256 * 1024;

    static Contents read(const QString& path);

    // Replaces the file at `path`, or at the end of the symlink there, with `bytes` in one rename:
    // the file holds either the new bytes or, on failure (false), what it held before. It keeps
    // the file's owner, group and mode; a new file is private to the user. With `previous`, the
    // earlier file is first kept beside it, under its name with ".bak" added, with its owner and
    // mode. A target that is not a regular file, or one the user may not write, is refused.
    static bool replace(const QString& path, const QByteArray& bytes, const std::optional<QByteArray>& previous);
};
