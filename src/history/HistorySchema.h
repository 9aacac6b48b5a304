#pragma once

// The layout of `history.sqlite`, shared by what writes it after each cycle and by what reads it for the History
// window, `--history` and the export. Times are UTC milliseconds since 1970, as the cycle's end was measured; a
// clock stepped back leaves rows as they came, and readers place them by their time, never by their order.
//
// One series is one target as it was named: its kind, number and text (address or process name). A target whose
// text changes starts a new series, so that the uptime of 192.168.1.23 never counts checks of another camera.
namespace HistorySchema {

// `PRAGMA user_version` of the layout below; a newer file is left alone (read-only use refuses it, writing is off).
constexpr int kVersion = 1;

// Statements that make version 1 from an empty file, run in one transaction.
inline constexpr const char* kCreateV1 = R"sql(
CREATE TABLE cycles (
    id          INTEGER PRIMARY KEY,
    ended_ms    INTEGER NOT NULL,   -- the cycle's end, UTC
    duration_ms INTEGER NOT NULL,
    started_by  TEXT    NOT NULL    -- 'schedule', 'X' or 'second look'
);
CREATE TABLE series (
    id       INTEGER PRIMARY KEY,
    kind     TEXT    NOT NULL,      -- 'device', 'camera', 'process'
    number   INTEGER NOT NULL,      -- 1..10 or 1..15
    log_name TEXT    NOT NULL,      -- 'Cam3'
    text     TEXT    NOT NULL,      -- the address or process name the checks went to
    UNIQUE (kind, number, text)
);
CREATE TABLE checks (
    series   INTEGER NOT NULL REFERENCES series(id),
    ended_ms INTEGER NOT NULL,      -- copied from the cycle, so that a series' range is read by its key alone
    cycle    INTEGER NOT NULL REFERENCES cycles(id),
    state    TEXT    NOT NULL,      -- 'up', 'down', 'unknown', 'confirming'
    rtt_ms   INTEGER,               -- the echo's round trip, where the probe knows it
    PRIMARY KEY (series, ended_ms, cycle)
) WITHOUT ROWID;
CREATE INDEX cycles_ended ON cycles (ended_ms);
)sql";

inline constexpr const char* kStartedBySchedule = "schedule";
inline constexpr const char* kStartedByX = "X";
inline constexpr const char* kStartedBySecondLook = "second look";

inline constexpr const char* kUp = "up";
inline constexpr const char* kDown = "down";
inline constexpr const char* kUnknown = "unknown";
inline constexpr const char* kConfirming = "confirming";

// The file's name in the state folder, beside status.json.
inline constexpr const char* kFileName = "history.sqlite";

} // namespace HistorySchema
