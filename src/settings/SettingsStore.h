#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

class IniText;

// The Settings between runs: 71 text values under one per-user key. On Windows that key is
// HKEY_CURRENT_USER\Software\Pylvane in the registry, holding string values; elsewhere it is an INI file
// ($XDG_CONFIG_HOME/Pylvane/Pylvane.conf) whose top-level keys carry the same value names, so a
// user can edit it by hand. The file is read line by line, in the syntax QSettings writes, so that
// a line that makes no sense costs only its own value; a save replaces the file in one rename and
// keeps every line that is not one of the values written. The file is read and parsed once, at the first read, and
// the reads after it take their values from that reading until the store writes: a run reads its settings once,
// so a 256 KiB file costs one parse, not one for each of the values, and a hand edit counts from the next start.
class SettingsStore {
public:
    // The key path the load passes to ReadSetting.
    static inline const QString kKeyPath = QStringLiteral("HKEY_CURRENT_USER\\Software\\Pylvane\\");

    using Value = std::pair<QString, QString>; // value name, text

    // Where the values live: on Windows a key path below HKEY_CURRENT_USER, elsewhere a file. An
    // empty `location` means the per-user one; tests pass one of their own.
    explicit SettingsStore(QString location = {});

    // "Software\Pylvane" on Windows; elsewhere $XDG_CONFIG_HOME/Pylvane/Pylvane.conf, or
    // ~/.config/Pylvane/Pylvane.conf.
    static QString defaultLocation();
    // A store that reads the INI text `iniBytes`, as read once from the file `location` (the service's
    // settings, named with --config), rather than the per-user place; it writes nothing, and a write is refused.
    static SettingsStore fromIni(QString location, const QByteArray& iniBytes);
    const QString& location() const { return location_; }

    // The 71 value names in the order a save writes them: a1, c1..c10, c1b..c10b, d1..d15,
    // d1b..d15b, e1..e10, e1b..e10b. The store keeps these and nothing else.
    static const QStringList& valueNames();

    // Beside the 71 values: whether the tray tells of changes by a notice ("1" or "0"; missing is on).
    // It is written on its own, never by a save of the 71, and a save leaves it as it is.
    static inline const QString kNotifyChanges = QStringLiteral("NotifyChanges");
    bool notifyChanges() const;
    bool setNotifyChanges(bool on);
    // Beside it, kept the same way: whether a target must be found down by two cycles in a row, the second
    // looking again within about 20 seconds, before it counts ("1" or "0"; missing is off).
    static inline const QString kConfirmDown = QStringLiteral("ConfirmDown");
    bool confirmDown() const;
    bool setConfirmDown(bool on);
    // Beside them: how many days the history of checks keeps, a whole number from 1 to 3650; missing, or anything
    // else, keeps the default of 400. Set by hand; a save of the 71 keeps it as it is.
    static inline const QString kHistoryDays = QStringLiteral("HistoryDays");
    static constexpr int kDefaultHistoryDays = 400;
    int historyDays() const;
    bool setHistoryDays(int days);

    // The text of `valueName` under `keyPath`, or nothing. A numeric value yields its decimal text.
    // Every failure (another key, no file, an unreadable file or line, no such value, a value
    // that is neither text nor a number) yields nothing; it never reaches the caller otherwise.
    std::optional<QString> ReadSetting(const QString& keyPath, const QString& valueName) const;

    // Writes one text value; false when it could not be written.
    bool WriteSetting(const QString& valueName, const QString& text);

    // Writes the values; a name outside valueNames() refuses the whole save before anything is
    // written. In the registry each value is written on its own, in order, creating the key when
    // missing, and the first refused write ends the save (false) with the values before it
    // written. A file is replaced in one go: afterwards it holds either all of them or, on failure
    // (false), exactly what it held before. Values not named, other keys and other sections keep
    // their lines; a file that did not read cleanly is first kept beside it as "<name>.bak".
    bool WriteSettings(const QList<Value>& values);

    // The folder that gets the metrics file after each cycle, or empty text for none. It is kept
    // beside the 71 values under the name MetricsFolder, set by hand or by the administrator's
    // tools; nothing in the program writes it, and a save keeps it as it is.
    static inline const QString kMetricsFolder = QStringLiteral("MetricsFolder");
    QString metricsFolder() const { return readText(kMetricsFolder).value_or(QString()); }

    // The enable-text rule of the load: a number in the user's number format (or the C format),
    // blanks around it allowed, whose value is exactly 1.
    static bool isTickText(const QString& text);
    // What a save stores for an enable box.
    static QString enableText(bool ticked) { return ticked ? QStringLiteral("1") : QStringLiteral("0"); }

private:
    static bool isOwnKey(const QString& keyPath);
    std::optional<QString> readText(const QString& valueName) const;
    bool writeValues(const QList<Value>& values);

    QString location_;
    bool readOnly_ = false;
    // The file as the first read found it (a missing or refused file reads as an empty one); null until then and
    // after each write, which may have changed it.
    mutable std::shared_ptr<const IniText> loaded_;
};
