#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "TableDescription.h"

typedef struct st_mysql MYSQL;
typedef struct st_mysql_res MYSQL_RES;
struct st_mysql_rows;

namespace selvo::data {

class TZQuery;

// Frees a stored result when it goes.
struct MysqlResultDeleter
{
    void operator()(MYSQL_RES* result) const noexcept;
};
using MysqlResult = std::unique_ptr<MYSQL_RES, MysqlResultDeleter>;
// A row of a stored result (MYSQL_ROW_OFFSET), for moving to it again.
using MysqlRowOffset = st_mysql_rows*;

// The database connection `ZConnection` over MariaDB Connector/C (linked at build time).
// The settings are plain members, read at each opening; changing them while connected takes effect
// at the next opening. Texts are single-byte strings sent as latin1, so Windows-1250 bytes reach
// the latin1 columns unchanged and come back unchanged.
//
// A session that the server has closed (a restart, KILL CONNECTION, wait_timeout) is noticed before
// the next statement is sent and replaced by a new one with the same settings, so that the desk
// keeps working through a server restart or a long idle spell; the statement then goes on. Open
// queries keep their stored rows. A statement that was sent and then lost its session is never
// sent again (it may have been applied): it fails with the library's text.
// UI thread only (the data module is used only there).
class TZConnection final
{
public:
    TZConnection();
    ~TZConnection();
    TZConnection(const TZConnection&) = delete;
    TZConnection& operator=(const TZConnection&) = delete;

    static constexpr std::string_view Protocol = "mysql-3.23";

    std::string HostName = "localhost";
    int32_t Port = 3306; // 0 means 3306; a port below 0 or above 65535 fails the opening with "Range check error"
    std::string Database = "vardeno";
    std::string User = "vardeno";
    std::string Password;

    bool Connected() const { return m_handle != nullptr; }

    // Opens the connection when it is closed; throws DatabaseError ("SQL Error: %s",
    // "Can not connect to SQL server", "Range check error") and leaves it closed on failure.
    void Connect();
    // Closes every open query of the connection first (ignoring their errors), then the connection.
    void Disconnect();

    // The server's id of this connection (mysql_thread_id), 0 when closed.
    unsigned long ThreadId() const;
    // Counts the sessions opened so far: it changes whenever a new session replaces the old one.
    std::uint64_t Session() const { return m_session; }

    // The client library's escaping of a text for use between single quotes (NUL, LF, CR, backslash,
    // quotes and character 26 get a backslash). Connects first when closed, like a query opening.
    std::string EscapeString(std::string_view text);
    // The text as an SQL literal: EscapeString between single quotes.
    std::string Literal(std::string_view text);

    // ---- For the data module's own classes (queries and row posting) ----

    // Sends one statement (connecting first if needed); throws "SQL Error: %s" when it is rejected.
    void Execute(std::string_view sql);
    // Sends one statement and stores its whole result; throws "SQL Error: %s" when it is rejected and
    // "Can not retrieve ResultSet data" when it returns no result set.
    MysqlResult Select(std::string_view sql);
    // SELECT LAST_INSERT_ID() in session `session`, the INSERT's (a value of Session()). When that
    // session has ended nothing is sent and InsertKeyLostText is thrown: another session would
    // answer 0 or a key of its own.
    MysqlResult SelectLastInsertId(std::uint64_t session);
    // The table's description from SHOW TABLES / SHOW COLUMNS / SHOW KEYS, fetched on first use
    // and kept until the session ends (a query opened before keeps its own until it closes). An
    // empty database means the connection's Database.
    std::shared_ptr<const TableDescription> Describe(const std::string& database, const std::string& table);
    // The open client handle (connects first when closed).
    MYSQL* Handle();

    void Register(TZQuery& query);
    void Unregister(TZQuery& query) noexcept;

    static constexpr std::string_view InsertKeyLostText =
        "Connection to the server was lost after the INSERT; the new row's key could not be read back";

private:
    [[noreturn]] void ThrowClientError();
    // The open handle for sending a statement: connects when closed, and first replaces a session
    // that the server has closed.
    MYSQL* StatementHandle();
    // Closes the handle without touching the open queries.
    void EndSession() noexcept;

    MYSQL* m_handle = nullptr;
    std::uint64_t m_session = 0;
    std::vector<TZQuery*> m_queries;
    std::map<std::pair<std::string, std::string>, std::shared_ptr<const TableDescription>> m_descriptions;
};

} // namespace selvo::data
