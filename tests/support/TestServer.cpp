#include "TestServer.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include <unistd.h>

#include <mysql.h>

namespace selvo::test {

namespace {

[[noreturn]] void Fail(MYSQL* handle, std::string_view what)
{
    throw std::runtime_error(std::string(what) + ": " + mysql_error(handle));
}

} // namespace

std::string TestDatabase::UniqueName()
{
    static std::atomic<unsigned> counter{0};
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::ostringstream name;
    name << "selvo_t" << getpid() << '_' << (now % 1000000007) << '_' << counter++;
    return name.str();
}

ServerAddress TestServer()
{
    const char* file = std::getenv("SELVO_TEST_SERVER");
    if (file == nullptr || *file == '\0') {
        throw std::runtime_error("SELVO_TEST_SERVER is not set: run the test through ctest, which starts the "
                                 "MariaDB test server as a fixture");
    }
    return ReadServerState(file);
}

ServerAddress ReadServerState(const std::string& stateFile)
{
    std::ifstream in(stateFile);
    if (!in) {
        throw std::runtime_error("the MariaDB test server is not running (no state file " + stateFile + ")");
    }
    ServerAddress address;
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (key == "host") {
            address.Host = value;
        } else if (key == "port") {
            address.Port = std::stoi(value);
        } else if (key == "user") {
            address.User = value;
        } else if (key == "password") {
            address.Password = value;
        } else if (key == "socket") {
            address.Socket = value;
        }
    }
    if (address.Host.empty() || address.Port == 0) {
        throw std::runtime_error("incomplete test server state file " + stateFile);
    }
    return address;
}

std::string TestDatabase::DefaultSchemaFile()
{
    return SELVO_TEST_SCHEMA_FILE;
}

TestDatabase::TestDatabase(const std::string& schemaFile) : m_server(TestServer()), m_name(UniqueName())
{
    Create(schemaFile, false);
}

TestDatabase::TestDatabase(ServerAddress server, std::string name, const std::string& schemaFile)
    : m_server(std::move(server)), m_name(std::move(name))
{
    Create(schemaFile, true);
}

void TestDatabase::Create(const std::string& schemaFile, bool replace)
{
    std::ifstream in(schemaFile);
    if (!in) {
        throw std::runtime_error("cannot read schema file " + schemaFile);
    }
    std::stringstream schema;
    schema << in.rdbuf();

    ConnectAdmin(nullptr);
    try {
        if (replace) {
            Exec("DROP DATABASE IF EXISTS " + m_name);
        }
        Exec("CREATE DATABASE " + m_name + " CHARACTER SET latin1");
        if (mysql_select_db(m_admin, m_name.c_str()) != 0) {
            Fail(m_admin, "USE " + m_name);
        }
        Exec(schema.str());
    } catch (...) {
        // The destructor does not run for an object that was never made.
        mysql_close(m_admin);
        m_admin = nullptr;
        throw;
    }
}

void TestDatabase::ConnectAdmin(const char* database)
{
    m_admin = mysql_init(nullptr);
    if (m_admin == nullptr) {
        throw std::runtime_error("mysql_init failed");
    }
    mysql_options(m_admin, MYSQL_SET_CHARSET_NAME, "latin1");
    if (mysql_real_connect(m_admin, m_server.Host.c_str(), m_server.User.c_str(), m_server.Password.c_str(), database,
                           static_cast<unsigned>(m_server.Port), nullptr, CLIENT_MULTI_STATEMENTS) == nullptr) {
        std::string error = mysql_error(m_admin);
        mysql_close(m_admin);
        m_admin = nullptr;
        throw std::runtime_error("cannot connect to the test server: " + error);
    }
}

void TestDatabase::Reconnect()
{
    if (m_admin != nullptr) {
        mysql_close(m_admin);
        m_admin = nullptr;
    }
    ConnectAdmin(m_name.c_str());
}

TestDatabase::~TestDatabase()
{
    if (m_admin != nullptr) {
        std::string drop = "DROP DATABASE IF EXISTS " + m_name;
        mysql_real_query(m_admin, drop.data(), drop.size());
        mysql_close(m_admin);
    }
}

void TestDatabase::Exec(std::string_view sql)
{
    if (mysql_real_query(m_admin, sql.data(), sql.size()) != 0) {
        Fail(m_admin, std::string(sql.substr(0, 200)));
    }
    // Drain every result of a multi-statement text so the connection is ready again.
    do {
        if (MYSQL_RES* result = mysql_store_result(m_admin)) {
            mysql_free_result(result);
        } else if (mysql_errno(m_admin) != 0) {
            Fail(m_admin, std::string(sql.substr(0, 200)));
        }
    } while (mysql_next_result(m_admin) == 0);
    if (mysql_errno(m_admin) != 0) {
        Fail(m_admin, std::string(sql.substr(0, 200)));
    }
}

std::vector<Row> TestDatabase::Query(std::string_view sql)
{
    if (mysql_real_query(m_admin, sql.data(), sql.size()) != 0) {
        Fail(m_admin, std::string(sql.substr(0, 200)));
    }
    MYSQL_RES* result = mysql_store_result(m_admin);
    if (result == nullptr) {
        Fail(m_admin, "no result for " + std::string(sql.substr(0, 200)));
    }
    std::vector<Row> rows;
    unsigned columns = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        unsigned long* lengths = mysql_fetch_lengths(result);
        Row values;
        for (unsigned i = 0; i < columns; ++i) {
            if (row[i] == nullptr) {
                values.emplace_back(std::nullopt);
            } else {
                values.emplace_back(std::string(row[i], lengths[i]));
            }
        }
        rows.push_back(std::move(values));
    }
    mysql_free_result(result);
    return rows;
}

std::optional<std::string> TestDatabase::Scalar(std::string_view sql)
{
    auto rows = Query(sql);
    if (rows.size() != 1 || rows[0].size() != 1) {
        throw std::runtime_error("expected one value from " + std::string(sql));
    }
    return rows[0][0];
}

std::vector<std::string> TestDatabase::StatementsOf(unsigned long threadId, LineEnds lineEnds)
{
    std::vector<std::string> statements;
    for (auto& row : Query("SELECT argument FROM mysql.general_log WHERE thread_id = " + std::to_string(threadId) +
                           " AND command_type IN ('Query', 'Execute')")) {
        std::string statement = row[0].value_or("");
        while (lineEnds == LineEnds::Drop && !statement.empty() &&
               (statement.back() == '\n' || statement.back() == '\r')) {
            statement.pop_back();
        }
        statements.push_back(std::move(statement));
    }
    return statements;
}

void TestDatabase::KillConnection(unsigned long threadId)
{
    const std::string id = std::to_string(threadId);
    Exec("KILL CONNECTION " + id);
    // The socket is closed when the connection's thread has ended, a moment after KILL returns.
    for (int i = 0; i < 500; ++i) {
        if (Scalar("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + id) == "0") {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("connection " + id + " did not end after KILL");
}

} // namespace selvo::test
