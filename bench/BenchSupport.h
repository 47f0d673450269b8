#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

typedef struct st_mysql MYSQL;

namespace selvo::data {
class TTavrinReserveGuestDM;
}

// What the benchmarks share: the private server, a fresh database, timing, peak memory, the mariadb
// command-line client as the baseline, the door hosts with simulated access points, and the result
// lines scripts/bench turns into its table. Main thread only, except where a function says otherwise.
namespace selvo::bench {

using Clock = std::chrono::steady_clock;

struct ServerAddress
{
    std::string Host;
    int Port = 0;
    std::string User;
    std::string Password;
};

// The server of this run: the one named by SELVO_BENCH_SERVER (a mariadb-fixture state file, left
// running), or else a private one started with the test fixture's script and stopped when this goes.
class BenchServer final
{
public:
    BenchServer();
    ~BenchServer();
    BenchServer(const BenchServer&) = delete;
    BenchServer& operator=(const BenchServer&) = delete;

    const ServerAddress& Address() const { return m_address; }

private:
    ServerAddress m_address;
    std::string m_dir;   // only for a server of our own
    std::string m_state; // only for a server of our own
};

using Row = std::vector<std::optional<std::string>>;

// A fresh database with the installation's five tables on the bench server, dropped again when this
// goes; its own admin connection fills it and reads the server's general log.
class BenchDatabase final
{
public:
    BenchDatabase(const ServerAddress& server, std::string name);
    ~BenchDatabase();
    BenchDatabase(const BenchDatabase&) = delete;
    BenchDatabase& operator=(const BenchDatabase&) = delete;

    const std::string& Name() const { return m_name; }
    const ServerAddress& Server() const { return m_server; }

    // One or more statements separated by ';'; throws on error.
    void Exec(std::string_view sql);
    std::vector<Row> Query(std::string_view sql);
    std::string Scalar(std::string_view sql);

    // Inserts `count` rows in batches of 1000: rowValues(i) gives the parenthesised values of row i.
    void InsertRows(const std::string& table, const std::string& columns, int count,
                    const std::function<std::string(int)>& rowValues);

    // The statements the general log holds for one connection thread, in the order they arrived.
    std::vector<std::string> StatementsOf(unsigned long threadId);

    // Server-wide: the general log costs every statement the same; the timing benchmarks switch it off.
    void SetGeneralLog(bool on);

    // The data module's connection settings for this database.
    void Configure(data::TTavrinReserveGuestDM& dm) const;

private:
    ServerAddress m_server;
    std::string m_name;
    MYSQL* m_admin = nullptr;
};

// A folder holding the program's path (`Selvo`, never run) and its Selvo.ini pointing at the database,
// as the program finds its settings beside itself; removed when this goes.
class ProgramFolder final
{
public:
    explicit ProgramFolder(const BenchDatabase& db);
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    std::string ExecutablePath() const { return m_dir + "/Selvo"; }

private:
    std::string m_dir;
};

// Spare and guest cards: `spare` rows with the comment REZERVNA kartica and `guest` rows with GOST,
// card names R00000.. and G00000.., card codes from 1 000 000 on. holder(i) gives the employeeid of
// spare card i (0: free). Returns nothing; keys are 1.. in that order, spare cards first.
void AddCards(BenchDatabase& db, int spare, int guest, const std::function<int(int)>& holder);
// `count` active employees with keys 1..count and Windows-1250 names.
void AddEmployees(BenchDatabase& db, int count);

// Ends the process with a message and status 3 after `seconds`: a modal box on the offscreen platform
// (a failed connection, an error report) would wait for ever, and a benchmark that hangs has failed.
void ArmWatchdog(unsigned seconds);

// A new folder under $TMPDIR (else /tmp) named prefix.XXXXXX; scripts/bench points TMPDIR into its own
// work folder, so even a benchmark that was killed leaves nothing behind.
std::string MakeTempDir(const std::string& prefix);

double MillisecondsSince(Clock::time_point start);
double Median(std::vector<double> values);
// VmHWM of this process, in kB.
long PeakKilobytes();

// One run of the mariadb command-line client: the statements (joined with ';') against the database,
// the output into /dev/null. Wall time from spawn to exit, and its own peak memory (its VmHWM, sampled
// every 5 ms while it runs: a child's ru_maxrss would count this process's memory from before its exec).
struct ClientRun
{
    double Milliseconds = 0;
    long PeakKilobytes = 0;
};
ClientRun RunClient(const ServerAddress& server, const std::string& database, const std::vector<std::string>& sql);

// Spawns a command and waits; throws unless it exits with 0. Wall time in ms and peak memory.
ClientRun RunProcess(const std::vector<std::string>& command, bool quiet);

// A UDP port nothing on this host is bound to right now.
std::uint16_t FreeUdpPort();

// A test host made by tests/device/door-hosts (its state file named by SELVO_DOOR_HOSTS).
struct DoorHost
{
    std::string Namespace;
    std::string HostAddress;
    std::string DoorAddress;
};
// The door hosts of this run; empty with `why` set when there are none.
std::vector<DoorHost> ReadDoorHosts(std::string& why);

// access-point-sim (answering "OK") inside a door host's namespace; stopped when this goes.
class SimulatedDoor final
{
public:
    SimulatedDoor(const DoorHost& host, std::uint16_t port);
    ~SimulatedDoor();
    SimulatedDoor(const SimulatedDoor&) = delete;
    SimulatedDoor& operator=(const SimulatedDoor&) = delete;

    std::uint16_t Port() const { return m_port; }
    // Frames logged with a right checksum so far, waiting up to 3 s for `expected` of them.
    int IntactFrames(int expected) const;

private:
    std::string ReadLog() const;

    std::string m_dir;
    std::string m_log;
    std::uint16_t m_port = 0;
    pid_t m_pid = -1;
};

// One line of scripts/bench's table, printed as "BENCH|name|measured|baseline|ratio|goal|met|peak|note".
struct Result
{
    std::string Name;
    std::string Measured;
    std::string Baseline;
    double Ratio = 0;
    std::string Goal;
    bool Met = false;
    std::string Peak;
    std::string Note;
};
void Report(const Result& result);

std::string Format(const char* format, double value);

} // namespace selvo::bench
