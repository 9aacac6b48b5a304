#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// One connection to an SQLite file through the library's C interface, closed with the object. Qt's SQL driver would
// do for queries, but it hides what the history's faults hang on: the open flags (SQLITE_OPEN_NOFOLLOW), the busy
// timeout, and the result codes that tell a full disk (SQLITE_FULL) or a damaged file (SQLITE_CORRUPT,
// SQLITE_NOTADB) from a lock held by another process (SQLITE_BUSY); and the Windows Qt is built without it.
class SqliteConnection {
public:
    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;
    SqliteConnection(SqliteConnection&& other) noexcept;
    SqliteConnection& operator=(SqliteConnection&& other) noexcept;

    // `flags` are SQLITE_OPEN_*; the result code (SQLITE_OK on success). A failed open leaves no connection.
    int open(const std::string& path, int flags);
    bool isOpen() const { return db_ != nullptr; }
    void close();

    // Runs statements that return no rows; the result code.
    int exec(std::string_view sql);
    // The connection's last error message, for the system's log and --diagnose.
    std::string errorMessage() const;
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// One prepared statement, finalised with the object. Columns and parameters count as SQLite counts them: parameters
// from 1, columns from 0.
class SqliteStatement {
public:
    SqliteStatement(const SqliteConnection& connection, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // SQLITE_OK when prepared; anything else and every step fails with it.
    int prepared() const { return prepared_; }

    void bind(int index, int64_t value);
    void bind(int index, std::string_view text);
    void bindNull(int index);
    // SQLITE_ROW while there are rows, SQLITE_DONE at the end, or the error code.
    int step();
    // Ready to run again with new parameters.
    void reset();

    int64_t integer(int column) const;
    std::optional<int64_t> optionalInteger(int column) const;
    std::string text(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
    int prepared_ = 0;
};
