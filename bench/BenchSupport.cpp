#include "BenchSupport.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mysql.h>

#include "TavrinReserveGuestDM.h"

extern char** environ;

namespace selvo::bench {

namespace {

std::map<std::string, std::string> ReadState(const std::string& path)
{
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read the server state file " + path);
    }
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

ServerAddress AddressFrom(const std::string& stateFile)
{
    auto values = ReadState(stateFile);
    ServerAddress address;
    address.Host = values["host"];
    address.Port = std::atoi(values["port"].c_str());
    address.User = values["user"];
    address.Password = values["password"];
    if (address.Host.empty() || address.Port == 0) {
        throw std::runtime_error("the server state file " + stateFile + " names no server");
    }
    return address;
}

void RunChecked(const std::vector<std::string>& command)
{
    RunProcess(command, false);
}

MYSQL* ConnectAdmin(const ServerAddress& server, const char* database)
{
    MYSQL* handle = mysql_init(nullptr);
    if (handle == nullptr) {
        throw std::runtime_error("mysql_init failed");
    }
    mysql_options(handle, MYSQL_SET_CHARSET_NAME, "latin1");
    if (mysql_real_connect(handle, server.Host.c_str(), server.User.c_str(), server.Password.c_str(), database,
                           static_cast<unsigned>(server.Port), nullptr, CLIENT_MULTI_STATEMENTS) == nullptr) {
        std::string error = mysql_error(handle);
        mysql_close(handle);
        throw std::runtime_error("cannot connect to the bench server: " + error);
    }
    return handle;
}

} // namespace

BenchServer::BenchServer()
{
    if (const char* state = std::getenv("SELVO_BENCH_SERVER"); state != nullptr && *state != '\0') {
        m_address = AddressFrom(state);
        return;
    }
    m_dir = MakeTempDir("selvo-bench");
    m_state = m_dir + "/mariadb.state";
    RunChecked({SELVO_FIXTURE_SCRIPT, "start", m_state});
    m_address = AddressFrom(m_state);
}

BenchServer::~BenchServer()
{
    if (m_state.empty()) {
        return;
    }
    try {
        RunChecked({SELVO_FIXTURE_SCRIPT, "stop", m_state});
    } catch (...) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

BenchDatabase::BenchDatabase(const ServerAddress& server, std::string name) : m_server(server), m_name(std::move(name))
{
    m_admin = ConnectAdmin(server, nullptr);
    try {
        Exec("DROP DATABASE IF EXISTS " + m_name);
        Exec("CREATE DATABASE " + m_name + " CHARACTER SET latin1");
        if (mysql_select_db(m_admin, m_name.c_str()) != 0) {
            throw std::runtime_error(mysql_error(m_admin));
        }
        std::ifstream schema(SELVO_SCHEMA_FILE);
        std::stringstream text;
        text << schema.rdbuf();
        Exec(text.str());
    } catch (...) {
        mysql_close(m_admin);
        throw;
    }
}

BenchDatabase::~BenchDatabase()
{
    try {
        Exec("DROP DATABASE IF EXISTS " + m_name);
    } catch (...) {
    }
    mysql_close(m_admin);
}

void BenchDatabase::Exec(std::string_view sql)
{
    if (mysql_real_query(m_admin, sql.data(), sql.size()) != 0) {
        throw std::runtime_error(std::string(mysql_error(m_admin)) + " in " + std::string(sql.substr(0, 100)));
    }
    int more = 0;
    do {
        if (MYSQL_RES* result = mysql_store_result(m_admin)) {
            mysql_free_result(result);
        } else if (mysql_field_count(m_admin) != 0) {
            throw std::runtime_error(mysql_error(m_admin));
        }
        more = mysql_next_result(m_admin);
        if (more > 0) {
            throw std::runtime_error(std::string(mysql_error(m_admin)) + " in " + std::string(sql.substr(0, 100)));
        }
    } while (more == 0);
}

std::vector<Row> BenchDatabase::Query(std::string_view sql)
{
    if (mysql_real_query(m_admin, sql.data(), sql.size()) != 0) {
        throw std::runtime_error(std::string(mysql_error(m_admin)) + " in " + std::string(sql.substr(0, 100)));
    }
    MYSQL_RES* result = mysql_store_result(m_admin);
    if (result == nullptr) {
        throw std::runtime_error("no result for " + std::string(sql.substr(0, 100)));
    }
    std::vector<Row> rows;
    const unsigned columns = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
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

std::string BenchDatabase::Scalar(std::string_view sql)
{
    const auto rows = Query(sql);
    if (rows.empty() || rows[0].empty() || !rows[0][0]) {
        return {};
    }
    return *rows[0][0];
}

void BenchDatabase::InsertRows(const std::string& table, const std::string& columns, int count,
                               const std::function<std::string(int)>& rowValues)
{
    for (int start = 0; start < count; start += 1000) {
        std::string sql = "INSERT INTO " + table + " (" + columns + ") VALUES ";
        for (int i = start; i < std::min(count, start + 1000); ++i) {
            if (i != start) {
                sql += ',';
            }
            sql += rowValues(i);
        }
        Exec(sql);
    }
}

std::vector<std::string> BenchDatabase::StatementsOf(unsigned long threadId)
{
    std::vector<std::string> statements;
    for (auto& row : Query("SELECT argument FROM mysql.general_log WHERE thread_id = " + std::to_string(threadId) +
                           " AND command_type IN ('Query', 'Execute')")) {
        std::string text = row[0].value_or("");
        // The data module ends a one-line text with CR LF; the count is about statements, not line ends.
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        statements.push_back(std::move(text));
    }
    return statements;
}

void BenchDatabase::SetGeneralLog(bool on)
{
    Exec(on ? "SET GLOBAL general_log = 1" : "SET GLOBAL general_log = 0");
}

void BenchDatabase::Configure(data::TTavrinReserveGuestDM& dm) const
{
    dm.ZConnection.HostName = m_server.Host;
    dm.ZConnection.Port = m_server.Port;
    dm.ZConnection.Database = m_name;
    dm.ZConnection.User = m_server.User;
    dm.ZConnection.Password = m_server.Password;
}

ProgramFolder::ProgramFolder(const BenchDatabase& db)
{
    m_dir = MakeTempDir("selvo-bench-program");
    // The stored form of the password: every byte moved up by 5.
    std::string stored = db.Server().Password;
    for (char& c : stored) {
        c = static_cast<char>(static_cast<unsigned char>(c) + 5);
    }
    std::ofstream ini(m_dir + "/Selvo.ini");
    ini << "[Database]\r\nHostName=" << db.Server().Host << "\r\nDatabaseName=" << db.Name()
        << "\r\nPort=" << db.Server().Port << "\r\nUsername=" << db.Server().User << "\r\nPassword=" << stored
        << "\r\n[Options]\r\nMode=0\r\n";
    if (!ini) {
        throw std::runtime_error("cannot write " + m_dir + "/Selvo.ini");
    }
}

ProgramFolder::~ProgramFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void AddEmployees(BenchDatabase& db, int count)
{
    // Windows-1250: 0xE6 c with acute, 0x9A s with caron, 0x9E z with caron.
    static const char* const lastNames[] = {"Petrovi\xE6", "Jovanovi\xE6", "Nikoli\xE6", "\x9Eivkovi\xE6",
                                            "Markovi\xE6"};
    static const char* const firstNames[] = {"Ana",
                                             "Milo\x9A",
                                             "Dragan",
                                             "Jelena",
                                             "Du\x9A"
                                             "an",
                                             "Marija"};
    db.InsertRows("employee", "employeeid, lastname, firstname, personalidentificator, code, active", count, [](int i) {
        const std::string n = std::to_string(i);
        return "(" + std::to_string(i + 1) + ",'" + lastNames[i % 5] + n + "','" + firstNames[i % 6] + n + "','" +
               std::to_string(100000000000LL + i) + "','K" + n + "','Y')";
    });
}

void AddCards(BenchDatabase& db, int spare, int guest, const std::function<int(int)>& holder)
{
    db.InsertRows("employeecard", "employeecardid, employeeid, cardcode, name, active, comment, employeecardts",
                  spare + guest, [&](int i) {
                      const bool isSpare = i < spare;
                      const int number = isSpare ? i : i - spare;
                      char name[16];
                      std::snprintf(name, sizeof name, "%c%05d", isSpare ? 'R' : 'G', number);
                      const int employee = isSpare ? holder(i) : 0;
                      return "(" + std::to_string(i + 1) + "," + (employee > 0 ? std::to_string(employee) : "NULL") +
                             "," + std::to_string(1000000 + i) + ",'" + name + "','Y','" +
                             (isSpare ? "REZERVNA kartica" : "GOST") + "','2024-03-05 14:07:09')";
                  });
}

namespace {
extern "C" void OnWatchdog(int)
{
    const char text[] = "benchmark timed out (a modal box waiting offscreen, or a server that does not answer)\n";
    [[maybe_unused]] const auto written = write(2, text, sizeof text - 1);
    _exit(3);
}
} // namespace

void ArmWatchdog(unsigned seconds)
{
    std::signal(SIGALRM, OnWatchdog);
    alarm(seconds);
}

std::string MakeTempDir(const std::string& prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + ".XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder " + pattern);
    }
    return pattern;
}

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long PeakKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

ClientRun RunProcess(const std::vector<std::string>& command, bool quiet)
{
    std::vector<std::string> args = command;
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot run " + command[0]);
    }
    std::atomic<long> peak{0};
    std::jthread sampler([pid, &peak](std::stop_token stop) {
        const std::string path = "/proc/" + std::to_string(pid) + "/status";
        while (!stop.stop_requested()) {
            std::ifstream status(path);
            std::string line;
            while (std::getline(status, line)) {
                if (line.rfind("VmHWM:", 0) == 0) {
                    peak = std::max(peak.load(), std::atol(line.c_str() + 6));
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ClientRun run;
    run.Milliseconds = MillisecondsSince(start);
    sampler.request_stop();
    sampler.join();
    run.PeakKilobytes = peak;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(command[0] + " failed");
    }
    return run;
}

ClientRun RunClient(const ServerAddress& server, const std::string& database, const std::vector<std::string>& sql)
{
    std::string statements;
    for (const auto& statement : sql) {
        statements += statement + ";";
    }
    return RunProcess({"mariadb", "--no-defaults", "-h" + server.Host, "-P" + std::to_string(server.Port),
                       "-u" + server.User, "-p" + server.Password, "--default-character-set=latin1", database, "-e",
                       statements},
                      true);
}

std::uint16_t FreeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        throw std::runtime_error("socket failed");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot find a free UDP port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

std::vector<DoorHost> ReadDoorHosts(std::string& why)
{
    const char* state = std::getenv("SELVO_DOOR_HOSTS");
    if (state == nullptr || *state == '\0') {
        why = "SELVO_DOOR_HOSTS names no door hosts state file";
        return {};
    }
    std::ifstream in(state);
    std::string line;
    std::vector<DoorHost> hosts;
    bool ready = false;
    while (std::getline(in, line)) {
        if (line == "status=ready") {
            ready = true;
        } else if (line.rfind("reason=", 0) == 0) {
            why = line.substr(7);
        } else if (line.rfind("host=", 0) == 0) {
            std::istringstream fields(line.substr(5));
            DoorHost host;
            fields >> host.Namespace >> host.HostAddress >> host.DoorAddress;
            hosts.push_back(host);
        }
    }
    if (!ready) {
        if (why.empty()) {
            why = "the door hosts are not ready";
        }
        return {};
    }
    return hosts;
}

SimulatedDoor::SimulatedDoor(const DoorHost& host, std::uint16_t port) : m_port(port)
{
    m_dir = MakeTempDir("selvo-bench-sim");
    m_log = m_dir + "/frames.log";
    std::vector<std::string> args = {"ip",     "netns",          "exec",   host.Namespace,       SELVO_ACCESS_POINT_SIM,
                                     "--bind", host.DoorAddress, "--port", std::to_string(port), "--mode",
                                     "ok",     "--log",          m_log};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    if (posix_spawnp(&m_pid, "ip", nullptr, nullptr, argv.data(), environ) != 0) {
        m_pid = -1;
        std::filesystem::remove_all(m_dir);
        throw std::runtime_error("cannot start access-point-sim");
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (ReadLog().find("listening=") == std::string::npos) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid || Clock::now() > deadline) {
            m_pid = -1;
            throw std::runtime_error("access-point-sim did not start on " + host.DoorAddress + ":" +
                                     std::to_string(port));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

SimulatedDoor::~SimulatedDoor()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

std::string SimulatedDoor::ReadLog() const
{
    std::ifstream in(m_log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int SimulatedDoor::IntactFrames(int expected) const
{
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    for (;;) {
        const std::string log = ReadLog();
        int count = 0;
        for (std::size_t at = log.find("crc=ok"); at != std::string::npos; at = log.find("crc=ok", at + 1)) {
            ++count;
        }
        if (count >= expected || Clock::now() > deadline) {
            return count;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void Report(const Result& result)
{
    std::printf("BENCH|%s|%s|%s|%.3f|%s|%s|%s|%s\n", result.Name.c_str(), result.Measured.c_str(),
                result.Baseline.c_str(), result.Ratio, result.Goal.c_str(), result.Met ? "yes" : "NO",
                result.Peak.c_str(), result.Note.c_str());
    std::fflush(stdout);
}

} // namespace selvo::bench
