// Opens SpareCardZQ on 10 000 spare card rows and walks it, against the mariadb command-line client
// running the same statement into /dev/null, on a private server this program starts and stops.
//
//   spare_card_bench [rows] [runs]
//
// Prints the median times, their ratio and the peak memory (VmHWM) of this process and of the client.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mysql.h>

#include "TavrinReserveGuestDM.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using selvo::data::TTavrinReserveGuestDM;

struct Server
{
    std::string Host;
    int Port = 0;
    std::string User;
    std::string Password;
};

// The private server: started by the test fixture's script, stopped again when this goes.
class PrivateServer final
{
public:
    PrivateServer()
    {
        char dir[] = "/tmp/selvo-bench.XXXXXX";
        if (mkdtemp(dir) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_dir = dir;
        m_state = m_dir + "/mariadb.state";
        Run({SELVO_FIXTURE_SCRIPT, "start", m_state});
        std::ifstream in(m_state);
        std::string line;
        while (std::getline(in, line)) {
            auto eq = line.find('=');
            std::string key = line.substr(0, eq);
            std::string value = line.substr(eq + 1);
            if (key == "host") {
                Address.Host = value;
            } else if (key == "port") {
                Address.Port = std::stoi(value);
            } else if (key == "user") {
                Address.User = value;
            } else if (key == "password") {
                Address.Password = value;
            }
        }
    }
    ~PrivateServer()
    {
        try {
            Run({SELVO_FIXTURE_SCRIPT, "stop", m_state});
        } catch (...) {
        }
        rmdir(m_dir.c_str());
    }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    Server Address;

    static void Run(const std::vector<std::string>& command)
    {
        std::vector<char*> argv;
        for (const auto& a : command) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            throw std::runtime_error("cannot run " + command[0]);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            throw std::runtime_error(command[0] + " failed");
        }
    }

private:
    std::string m_dir;
    std::string m_state;
};

void Exec(MYSQL* handle, const std::string& sql)
{
    if (mysql_real_query(handle, sql.data(), sql.size()) != 0) {
        throw std::runtime_error(std::string(mysql_error(handle)) + " in " + sql.substr(0, 100));
    }
    do {
        if (MYSQL_RES* result = mysql_store_result(handle)) {
            mysql_free_result(result);
        }
    } while (mysql_next_result(handle) == 0);
}

void CreateDatabase(const Server& server, const std::string& name, int rows)
{
    MYSQL* handle = mysql_init(nullptr);
    mysql_options(handle, MYSQL_SET_CHARSET_NAME, "latin1");
    if (mysql_real_connect(handle, server.Host.c_str(), server.User.c_str(), server.Password.c_str(), nullptr,
                           static_cast<unsigned>(server.Port), nullptr, CLIENT_MULTI_STATEMENTS) == nullptr) {
        throw std::runtime_error(mysql_error(handle));
    }
    Exec(handle, "CREATE DATABASE " + name + " CHARACTER SET latin1");
    mysql_select_db(handle, name.c_str());
    std::ifstream schema(SELVO_SCHEMA_FILE);
    std::stringstream text;
    text << schema.rdbuf();
    Exec(handle, text.str());
    // Employees hold every other card, so half the rows carry a name from the join.
    const int employees = rows / 2;
    for (int start = 0; start < employees; start += 1000) {
        std::string sql =
            "INSERT INTO employee (employeeid, lastname, firstname, personalidentificator, active) VALUES ";
        for (int i = start; i < std::min(employees, start + 1000); ++i) {
            sql += (i == start ? "" : ",") + ("(" + std::to_string(i + 1) + ",'Prezime" + std::to_string(i) + "','Ime" +
                                              std::to_string(i) + "','0101990" + std::to_string(i) + "','Y')");
        }
        Exec(handle, sql);
    }
    for (int start = 0; start < rows; start += 1000) {
        std::string sql = "INSERT INTO employeecard (employeecardid, employeeid, cardcode, name, active, comment, "
                          "employeecardts) VALUES ";
        for (int i = start; i < std::min(rows, start + 1000); ++i) {
            char cardName[16];
            std::snprintf(cardName, sizeof cardName, "R%05d", i);
            std::string employee = i % 2 == 0 ? std::to_string(i / 2 + 1) : "NULL";
            sql += (i == start ? "" : ",") +
                   ("(" + std::to_string(i + 1) + "," + employee + "," + std::to_string(1000000 + i) + ",'" + cardName +
                    "','Y','REZERVNA kartica','2024-03-05 14:07:09')");
        }
        Exec(handle, sql);
    }
    mysql_close(handle);
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

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One opening of the spare card list and a walk reading every field of every row.
double OpenAndWalk(TTavrinReserveGuestDM& dm, long long& checksum, int& rowsSeen)
{
    auto start = Clock::now();
    dm.SpareCardZQ.Close();
    dm.SpareCardZQ.SetSQL(std::string(selvo::data::SpareCardListSql));
    dm.SpareCardZQ.Open();
    rowsSeen = 0;
    for (dm.SpareCardZQ.First(); !dm.SpareCardZQ.Eof(); dm.SpareCardZQ.Next()) {
        checksum += dm.SpareCardZQemployeecardid.AsInteger();
        checksum += dm.SpareCardZQemployeeid.AsInteger();
        checksum += dm.SpareCardZQcardcode.AsLargeInt();
        checksum += static_cast<long long>(dm.SpareCardZQname.AsString().size());
        checksum += dm.SpareCardZQactive.AsBoolean() ? 1 : 0;
        checksum += static_cast<long long>(dm.SpareCardZQcomment.AsString().size());
        checksum += dm.SpareCardZQemployeecardts.AsDateTime().Second;
        checksum += static_cast<long long>(dm.SpareCardZQename.AsString().size());
        ++rowsSeen;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Configure(TTavrinReserveGuestDM& dm, const Server& server, const std::string& database)
{
    dm.ZConnection.HostName = server.Host;
    dm.ZConnection.Port = server.Port;
    dm.ZConnection.Database = database;
    dm.ZConnection.User = server.User;
    dm.ZConnection.Password = server.Password;
}

// The client runs the statement into /dev/null; returns its wall time and its peak memory.
double RunClient(const Server& server, const std::string& database, long& peakKilobytes)
{
    std::vector<std::string> args = {"mariadb",
                                     "--no-defaults",
                                     "-h" + server.Host,
                                     "-P" + std::to_string(server.Port),
                                     "-u" + server.User,
                                     "-p" + server.Password,
                                     "--default-character-set=latin1",
                                     database,
                                     "-e",
                                     std::string(selvo::data::SpareCardListSql)};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "mariadb", &actions, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot run the mariadb client");
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("the mariadb client failed");
    }
    peakKilobytes = usage.ru_maxrss;
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    int runs = argc > 2 ? std::atoi(argv[2]) : 15;
    try {
        PrivateServer server;
        const std::string database = "selvo_bench";
        CreateDatabase(server.Address, database, rows);

        long baseline = PeakKilobytes();
        std::vector<double> cold;
        std::vector<double> warm;
        std::vector<double> client;
        long clientPeak = 0;
        long long checksum = 0;
        int seen = 0;
        {
            TTavrinReserveGuestDM warmDm;
            Configure(warmDm, server.Address, database);
            OpenAndWalk(warmDm, checksum, seen); // connects and describes the tables once
            for (int run = 0; run < runs; ++run) {
                // Alternating, so that both see the same server state.
                auto start = Clock::now();
                {
                    TTavrinReserveGuestDM dm;
                    Configure(dm, server.Address, database);
                    OpenAndWalk(dm, checksum, seen);
                }
                cold.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                warm.push_back(OpenAndWalk(warmDm, checksum, seen));
                long peak = 0;
                client.push_back(RunClient(server.Address, database, peak));
                clientPeak = std::max(clientPeak, peak);
            }
        }
        double coldMs = Median(cold);
        double warmMs = Median(warm);
        double clientMs = Median(client);
        std::printf("rows walked: %d (checksum %lld), runs: %d\n", seen, checksum, runs);
        std::printf("SpareCardZQ, new connection (connect, describe, open, walk): %8.2f ms median\n", coldMs);
        std::printf("SpareCardZQ, reopened on the open connection (open, walk):   %8.2f ms median\n", warmMs);
        std::printf("mariadb client, same statement into /dev/null:               %8.2f ms median\n", clientMs);
        std::printf("ratio new connection / client: %.2f   reopened / client: %.2f   (goal <= 1.3)\n",
                    coldMs / clientMs, warmMs / clientMs);
        std::printf("peak memory (VmHWM): this process %ld kB (%ld kB before the first opening); client %ld kB\n",
                    PeakKilobytes(), baseline, clientPeak);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "spare_card_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
