#include "history/SqliteConnection.h"

#include <sqlite3.h>

#include <utility>

SqliteConnection::~SqliteConnection()
{
    close();
}

SqliteConnection::SqliteConnection(SqliteConnection&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

SqliteConnection& SqliteConnection::operator=(SqliteConnection&& other) noexcept
{
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

int SqliteConnection::open(const std::string& path, int flags)
{
    close();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        // sqlite3_open_v2 hands back a handle even when it fails, to carry the message; it must still be closed.
        sqlite3_close_v2(db);
        return rc;
    }
    // Result codes with their detail (SQLITE_IOERR_WRITE, SQLITE_BUSY_SNAPSHOT), so that faults are told apart.
    sqlite3_extended_result_codes(db, 1);
    db_ = db;
    return SQLITE_OK;
}

void SqliteConnection::close()
{
    if (db_ != nullptr)
        sqlite3_close_v2(std::exchange(db_, nullptr));
}

int SqliteConnection::exec(std::string_view sql)
{
    if (db_ == nullptr)
        return SQLITE_MISUSE;
    return sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, nullptr);
}

std::string SqliteConnection::errorMessage() const
{
    return db_ == nullptr ? std::string("no database open") : std::string(sqlite3_errmsg(db_));
}

SqliteStatement::SqliteStatement(const SqliteConnection& connection, std::string_view sql)
{
    if (connection.handle() == nullptr) {
        prepared_ = SQLITE_MISUSE;
        return;
    }
    prepared_ = sqlite3_prepare_v2(connection.handle(), sql.data(), int(sql.size()), &statement_, nullptr);
    if (prepared_ == SQLITE_OK && statement_ == nullptr)
        prepared_ = SQLITE_MISUSE; // only white space or a comment
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(statement_);
}

void SqliteStatement::bind(int index, int64_t value)
{
    if (statement_ != nullptr)
        sqlite3_bind_int64(statement_, index, value);
}

void SqliteStatement::bind(int index, std::string_view text)
{
    if (statement_ != nullptr)
        sqlite3_bind_text(statement_, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bindNull(int index)
{
    if (statement_ != nullptr)
        sqlite3_bind_null(statement_, index);
}

int SqliteStatement::step()
{
    return statement_ == nullptr ? prepared_ : sqlite3_step(statement_);
}

void SqliteStatement::reset()
{
    if (statement_ != nullptr) {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
}

int64_t SqliteStatement::integer(int column) const
{
    return statement_ == nullptr ? 0 : sqlite3_column_int64(statement_, column);
}

std::optional<int64_t> SqliteStatement::optionalInteger(int column) const
{
    if (statement_ == nullptr || sqlite3_column_type(statement_, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(statement_, column);
}

std::string SqliteStatement::text(int column) const
{
    if (statement_ == nullptr)
        return {};
    const unsigned char* value = sqlite3_column_text(statement_, column);
    return value == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(value),
                                                          size_t(sqlite3_column_bytes(statement_, column)));
}
