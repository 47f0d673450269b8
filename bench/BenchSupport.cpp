#include "BenchSupport.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TavrinReserveGuestDM.h"

extern char** environ;

namespace selvo::bench {

BenchServer::BenchServer()
{
    if (const char* state = std::getenv("SELVO_BENCH_SERVER"); state != nullptr && *state != '\0') {
        m_address = test::ReadServerState(state);
        return;
    }
    m_own.emplace();
    m_address = m_own->Address();
}

BenchServer::~BenchServer() = default;

void InsertRows(TestDatabase& db, const std::string& table, const std::string& columns, int count,
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
        db.Exec(sql);
    }
}

void SetGeneralLog(TestDatabase& db, bool on)
{
    db.Exec(on ? "SET GLOBAL general_log = 1" : "SET GLOBAL general_log = 0");
}

void OpenCardLists(const TestDatabase& db, data::TTavrinReserveGuestDM& dm)
{
    db.Configure(dm.ZConnection);
    dm.ZConnection.Connect();
    dm.SpareCardZQ.SetSQL(std::string(data::SpareCardListSql));
    dm.SpareCardZQ.Open();
    dm.GuestCardZQ.SetSQL(std::string(data::GuestCardListSql));
    dm.GuestCardZQ.Open();
}

ProgramFolder::ProgramFolder(const TestDatabase& db)
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

void AddEmployees(TestDatabase& db, int count)
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
    InsertRows(db, "employee", "employeeid, lastname, firstname, personalidentificator, code, active", count,
               [](int i) {
                   const std::string n = std::to_string(i);
                   // Appended to a started row, not "(" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on that.
                   std::string row = "(";
                   row += std::to_string(i + 1) + ",'" + lastNames[i % 5] + n + "','" + firstNames[i % 6] + n + "','" +
                          std::to_string(100000000000LL + i) + "','K" + n + "','Y')";
                   return row;
               });
}

void AddCards(TestDatabase& db, int spare, int guest, const std::function<int(int)>& holder)
{
    InsertRows(db, "employeecard", "employeecardid, employeeid, cardcode, name, active, comment, employeecardts",
               spare + guest, [&](int i) {
                   const bool isSpare = i < spare;
                   const int number = isSpare ? i : i - spare;
                   char name[16];
                   std::snprintf(name, sizeof name, "%c%05d", isSpare ? 'R' : 'G', number);
                   const int employee = isSpare ? holder(i) : 0;
                   std::string row = "(";
                   row += std::to_string(i + 1) + "," + (employee > 0 ? std::to_string(employee) : "NULL") + "," +
                          std::to_string(1000000 + i) + ",'" + name + "','Y','" +
                          (isSpare ? "REZERVNA kartica" : "GOST") + "','2024-03-05 14:07:09')";
                   return row;
               });
}

void CountingReplyBox::ShowError(const std::string& text, const std::string&)
{
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
}

std::size_t CountingReplyBox::Count() const
{
    std::lock_guard lock(m_mutex);
    return m_texts.size();
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
