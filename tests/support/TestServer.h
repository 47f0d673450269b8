#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct st_mysql MYSQL;

namespace selvo::test {

// Address of the private MariaDB server that the CTest fixture started for this run.
struct ServerAddress
{
    std::string Host;
    int Port = 0;
    std::string User;
    std::string Password;
    std::string Socket;
};

// Reads the fixture's state file named by SELVO_TEST_SERVER. Throws std::runtime_error when the
// variable or the file is missing: a test that needs the server fails without it, it never skips.
ServerAddress TestServer();
// Reads a state file that tests/support/mariadb-fixture wrote; throws std::runtime_error when it is
// missing or names no server.
ServerAddress ReadServerState(const std::string& stateFile);

// Whether StatementsOf gives the statements as logged, or without the CR LF that the data module puts
// after a one-line text (for counting and showing statements, not their line ends).
enum class LineEnds
{
    Keep,
    Drop
};

using Row = std::vector<std::optional<std::string>>;

// A fresh database on the test server, created with the installation's five tables (or another
// schema file) and dropped again when the object goes. Its own admin connection runs the
// fixtures' statements and reads what reached the server.
class TestDatabase final
{
public:
    explicit TestDatabase(const std::string& schemaFile = DefaultSchemaFile());
    // A database of a given name on a given server (the benchmarks' own), replacing one that an
    // earlier run left behind.
    TestDatabase(ServerAddress server, std::string name, const std::string& schemaFile = DefaultSchemaFile());
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    static std::string DefaultSchemaFile();
    // A database name no other test uses.
    static std::string UniqueName();

    const ServerAddress& Server() const { return m_server; }
    const std::string& Name() const { return m_name; }

    // Points a connection's settings (the data module's TZConnection) at this database.
    template <typename Connection> void Configure(Connection& connection) const
    {
        connection.HostName = m_server.Host;
        connection.Port = m_server.Port;
        connection.Database = m_name;
        connection.User = m_server.User;
        connection.Password = m_server.Password;
    }

    // Runs one or more statements separated by ';' (multi-statement text); throws on error.
    void Exec(std::string_view sql);
    // Runs one statement that returns rows; NULL columns are std::nullopt.
    std::vector<Row> Query(std::string_view sql);
    // The single value of a one-row, one-column statement.
    std::optional<std::string> Scalar(std::string_view sql);

    // Statements that the server's general log recorded for one connection thread, in order
    // (connection ids come from mysql_thread_id of the connection under test).
    std::vector<std::string> StatementsOf(unsigned long threadId, LineEnds lineEnds = LineEnds::Keep);

    // Kills a connection from the server side, as a server restart or an administrator would, and
    // waits until the server has closed its socket.
    void KillConnection(unsigned long threadId);

    // Opens the admin connection anew (after a server restart), in this database.
    void Reconnect();

private:
    void Create(const std::string& schemaFile, bool replace);
    void ConnectAdmin(const char* database);

    ServerAddress m_server;
    std::string m_name;
    MYSQL* m_admin = nullptr;
};

} // namespace selvo::test
