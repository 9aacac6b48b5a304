#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

struct CycleReport;

// status.json, which scripts read: the last cycle's outcome, replaced whole after every cycle in a
// folder private to the user. Nothing but a real folder of the user's own and a regular file in it is
// ever written or read, so a planted link or a FIFO is refused rather than followed or waited on.
class StatusFile {
public:
    static inline const QString kFileName = QStringLiteral("status.json");
    // A status file is a few kilobytes; anything much larger is not one.
    static constexpr qint64 kMaxSize = 256 * 1024;

    // $XDG_STATE_HOME/pylvane (~/.local/state/pylvane) on Linux, %LOCALAPPDATA%\Pylvane on Windows.
    static QString defaultFolder();

    // The text of the file: format, version, end time, duration, seconds to the next cycle and the
    // 35 targets, each with when this run first saw it in its state and its share up over the last day
    // ("uptime_24h", null before the first check that knew, and where `uptime` is not given).
    static QByteArray json(const CycleReport& report, const std::function<QDateTime(int)>& since,
                           int secondsToNextCycle, const std::function<std::optional<double>(int)>& uptime = {});

    // Writes the file into `folder`, creating the folder when missing; false when it could not.
    static bool write(const QString& folder, const QByteArray& json);

    // The file's bytes; nothing when it is missing, or when it is refused: too large, not a regular file of the
    // user's own with one name, or in a folder that someone else may change. `refused` then says why, and is
    // left empty for a missing file.
    // With `serviceForRoot`, root may read the file of a service that runs as another user (its folder asked for by
    // name): folder and file are then to be that user's, and still no one else's to change.
    static std::optional<QByteArray> read(const QString& folder, QString* refused = nullptr,
                                          bool serviceForRoot = false);

    // RFC 3339 with the offset from UTC: "2024-05-02T09:03:00+02:00".
    static QString timeText(const QDateTime& time);

private:
    // The folder exists (made private when new), is a real folder of the user's own, and holds no
    // link or other non-file under the file's name.
    static bool prepareFolder(const QString& folder);
    // Renames `from` over `to` in one step.
    static bool replace(const QString& from, const QString& to);
    // Removes the temporary files that runs killed before their rename left in `folder`.
    static void removeLeftovers(const QString& folder);
};
