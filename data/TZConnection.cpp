#include "TZConnection.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>

#include <mysql.h>

#include "DatabaseError.h"
#include "SqlText.h"
#include "TZQuery.h"

namespace selvo::data {

void MysqlResultDeleter::operator()(MYSQL_RES* result) const noexcept
{
    mysql_free_result(result);
}

namespace {

// Column `name` of a result, -1 when it has none.
int ColumnOf(MYSQL_RES* result, std::string_view name)
{
    unsigned count = mysql_num_fields(result);
    MYSQL_FIELD* fields = mysql_fetch_fields(result);
    for (unsigned i = 0; i < count; ++i) {
        if (EqualsIgnoreCase(std::string_view(fields[i].name, fields[i].name_length), name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Whether the server has ended the session. Between statements the server sends nothing, so anything
// readable on the socket (end of file after a restart, the error packet that KILL CONNECTION sends)
// or a hang-up means the session is over. One poll() without waiting: no round trip.
bool ClosedByServer(MYSQL* handle)
{
    int socket = static_cast<int>(mysql_get_socket(handle));
    // No socket: the library has dropped it after a lost connection.
    if (socket < 0) {
        return true;
    }
    pollfd idle{socket, POLLIN | POLLRDHUP, 0};
    int ready = 0;
    do {
        ready = poll(&idle, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready != 0;
}

std::optional<std::string> Cell(MYSQL_ROW row, const unsigned long* lengths, int column)
{
    if (column < 0 || row[column] == nullptr) {
        return std::nullopt;
    }
    return std::string(row[column], lengths[column]);
}

} // namespace

TZConnection::TZConnection() = default;

TZConnection::~TZConnection()
{
    Disconnect();
}

void TZConnection::Connect()
{
    if (m_handle != nullptr) {
        return;
    }
    // A port outside 0..65535 would wrap to another server's port.
    if (Port < 0 || Port > 65535) {
        throw DatabaseError("Range check error");
    }
    unsigned port = Port == 0 ? 3306u : static_cast<unsigned>(Port);
    MYSQL* handle = mysql_init(nullptr);
    if (handle == nullptr) {
        throw DatabaseError("Can not connect to SQL server");
    }
    unsigned timeout = 0;
    mysql_options(handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    // The texts are Windows-1250 bytes; latin1 passes every byte through unchanged, so the rows keep
    // the bytes the installation stores. Connector/C would otherwise announce utf8mb4 and the server would reject or
    // convert them.
    mysql_options(handle, MYSQL_SET_CHARSET_NAME, "latin1");
    // Always the host and port of the settings, also for "localhost" (no local socket).
    unsigned protocol = MYSQL_PROTOCOL_TCP;
    mysql_options(handle, MYSQL_OPT_PROTOCOL, &protocol);
    if (mysql_real_connect(handle, HostName.c_str(), User.c_str(), Password.c_str(), Database.c_str(), port, nullptr,
                           CLIENT_CONNECT_WITH_DB) == nullptr) {
        unsigned code = mysql_errno(handle);
        std::string text(TrimBlanks(mysql_error(handle)));
        mysql_close(handle);
        if (code != 0 && !text.empty()) {
            throw DatabaseError("SQL Error: " + text, code);
        }
        throw DatabaseError("Can not connect to SQL server");
    }
    m_handle = handle;
    ++m_session;
}

void TZConnection::Disconnect()
{
    // Queries stay open when a new session replaces one; they are closed here even without a session.
    auto queries = m_queries;
    for (TZQuery* query : queries) {
        query->CloseQuietly();
    }
    EndSession();
}

void TZConnection::EndSession() noexcept
{
    if (m_handle == nullptr) {
        return;
    }
    // Stored results hold their own rows and fields, so open queries outlive the handle.
    mysql_close(m_handle);
    m_handle = nullptr;
    m_descriptions.clear();
}

MYSQL* TZConnection::StatementHandle()
{
    if (m_handle != nullptr && ClosedByServer(m_handle)) {
        EndSession();
    }
    Connect();
    return m_handle;
}

unsigned long TZConnection::ThreadId() const
{
    return m_handle == nullptr ? 0 : mysql_thread_id(m_handle);
}

MYSQL* TZConnection::Handle()
{
    Connect();
    return m_handle;
}

std::string TZConnection::EscapeString(std::string_view text)
{
    MYSQL* handle = Handle();
    std::string escaped(text.size() * 2 + 1, '\0');
    unsigned long length = mysql_real_escape_string(handle, escaped.data(), text.data(), text.size());
    escaped.resize(length);
    return escaped;
}

std::string TZConnection::Literal(std::string_view text)
{
    return InQuotes(EscapeString(text));
}

void TZConnection::ThrowClientError()
{
    unsigned code = mysql_errno(m_handle);
    std::string text(TrimBlanks(mysql_error(m_handle)));
    throw DatabaseError("SQL Error: " + text, code);
}

void TZConnection::Execute(std::string_view sql)
{
    MYSQL* handle = StatementHandle();
    if (mysql_real_query(handle, sql.data(), sql.size()) != 0) {
        ThrowClientError();
    }
    // A statement that returns rows all the same: drain them so the connection stays usable.
    if (mysql_field_count(handle) != 0) {
        MysqlResult result(mysql_store_result(handle));
        if (!result && mysql_errno(handle) != 0) {
            ThrowClientError();
        }
    }
}

MysqlResult TZConnection::Select(std::string_view sql)
{
    MYSQL* handle = StatementHandle();
    if (mysql_real_query(handle, sql.data(), sql.size()) != 0) {
        ThrowClientError();
    }
    MysqlResult result(mysql_store_result(handle));
    if (!result) {
        if (mysql_errno(handle) != 0) {
            ThrowClientError();
        }
        throw DatabaseError("Can not retrieve ResultSet data");
    }
    return result;
}

MysqlResult TZConnection::SelectLastInsertId(std::uint64_t session)
{
    StatementHandle();
    if (m_session != session) {
        throw DatabaseError(std::string(InsertKeyLostText));
    }
    return Select("SELECT LAST_INSERT_ID()");
}

std::shared_ptr<const TableDescription> TZConnection::Describe(const std::string& database, const std::string& table)
{
    const std::string& db = database.empty() ? Database : database;
    auto key = std::make_pair(ToLowerAscii(db), ToLowerAscii(table));
    if (auto found = m_descriptions.find(key); found != m_descriptions.end()) {
        return found->second;
    }
    auto made = std::make_shared<TableDescription>();
    TableDescription& description = *made;
    description.Database = db;
    description.Table = table;

    std::string dbName = QuoteIdentifier(db);
    MysqlResult tables = Select("SHOW TABLES FROM " + dbName + " LIKE '" + EscapeString(table) + "'");
    while (MYSQL_ROW row = mysql_fetch_row(tables.get())) {
        unsigned long* lengths = mysql_fetch_lengths(tables.get());
        if (row[0] != nullptr && EqualsIgnoreCase(std::string_view(row[0], lengths[0]), table)) {
            description.Exists = true;
            description.Table.assign(row[0], lengths[0]);
        }
    }
    if (description.Exists) {
        std::string qualified = dbName + "." + QuoteIdentifier(description.Table);
        MysqlResult columns = Select("SHOW COLUMNS FROM " + qualified + " LIKE '%'");
        int fieldColumn = ColumnOf(columns.get(), "Field");
        int typeColumn = ColumnOf(columns.get(), "Type");
        int nullColumn = ColumnOf(columns.get(), "Null");
        int defaultColumn = ColumnOf(columns.get(), "Default");
        int extraColumn = ColumnOf(columns.get(), "Extra");
        while (MYSQL_ROW row = mysql_fetch_row(columns.get())) {
            unsigned long* lengths = mysql_fetch_lengths(columns.get());
            ColumnDescription column;
            column.Name = Cell(row, lengths, fieldColumn).value_or("");
            column.TypeText = Cell(row, lengths, typeColumn).value_or("");
            column.Type = FieldTypeOfColumnType(column.TypeText, &column.Size, &column.IntegerUpTo64Bits);
            column.Nullable = EqualsIgnoreCase(Cell(row, lengths, nullColumn).value_or(""), "YES");
            column.AutoIncrement =
                ToLowerAscii(Cell(row, lengths, extraColumn).value_or("")).find("auto_increment") != std::string::npos;
            std::optional<std::string> defaultText = Cell(row, lengths, defaultColumn);
            if (defaultText && !defaultText->empty()) {
                switch (column.Type) {
                case FieldType::String:
                case FieldType::Memo:
                case FieldType::Date:
                case FieldType::Time:
                case FieldType::DateTime:
                    column.DefaultExpression = InQuotes(EscapeString(*defaultText));
                    break;
                case FieldType::Boolean:
                    column.DefaultExpression = (*defaultText == "y" || *defaultText == "Y") ? "1" : "0";
                    break;
                default:
                    column.DefaultExpression = *defaultText;
                    break;
                }
            }
            description.Columns.push_back(std::move(column));
        }

        MysqlResult keys = Select("SHOW KEYS FROM " + qualified);
        int keyNameColumn = ColumnOf(keys.get(), "Key_name");
        int columnNameColumn = ColumnOf(keys.get(), "Column_name");
        while (MYSQL_ROW row = mysql_fetch_row(keys.get())) {
            unsigned long* lengths = mysql_fetch_lengths(keys.get());
            std::string keyName = Cell(row, lengths, keyNameColumn).value_or("");
            if (EqualsIgnoreCase(std::string_view(keyName).substr(0, 3), "PRI")) {
                description.PrimaryKey.push_back(Cell(row, lengths, columnNameColumn).value_or(""));
            }
        }
    }
    return m_descriptions.emplace(std::move(key), std::move(made)).first->second;
}

void TZConnection::Register(TZQuery& query)
{
    m_queries.push_back(&query);
}

void TZConnection::Unregister(TZQuery& query) noexcept
{
    m_queries.erase(std::remove(m_queries.begin(), m_queries.end(), &query), m_queries.end());
}

} // namespace selvo::data
