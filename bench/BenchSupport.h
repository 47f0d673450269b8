#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PrivateServer.h"
#include "Registry.h"
#include "TestServer.h"
#include "WorkerMessageBox.h"

namespace selvo::data {
class TTavrinReserveGuestDM;
}

// What the benchmarks share besides the tests' own support (selvo_testsupport: TestDatabase, the door
// hosts and the simulated access points): the server when no fixture runs, row fillers, timing, peak
// memory, the mariadb command-line client as the baseline, and the result lines scripts/bench turns
// into its table. Main thread only, except where a function says otherwise.
namespace selvo::bench {

using Clock = std::chrono::steady_clock;
using selvo::test::ServerAddress;
using selvo::test::TestDatabase;

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
    std::optional<test::PrivateServer> m_own;
};

// Inserts `count` rows in batches of 1000: rowValues(i) gives the parenthesised values of row i.
void InsertRows(TestDatabase& db, const std::string& table, const std::string& columns, int count,
                const std::function<std::string(int)>& rowValues);

// Server-wide: the general log costs every statement the same; the timing benchmarks switch it off.
void SetGeneralLog(TestDatabase& db, bool on);

// What start-up does with the data module: its settings pointed at the database, connected, both card
// lists open.
void OpenCardLists(const TestDatabase& db, data::TTavrinReserveGuestDM& dm);

// A folder holding the program's path (`Selvo`, never run) and its Selvo.ini pointing at the database,
// as the program finds its settings beside itself; removed when this goes.
class ProgramFolder final
{
public:
    explicit ProgramFolder(const TestDatabase& db);
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
void AddCards(TestDatabase& db, int spare, int guest, const std::function<int(int)>& holder);
// `count` active employees with keys 1..count and Windows-1250 names.
void AddEmployees(TestDatabase& db, int count);

// The settings come from the own Selvo.ini; the registry is never asked.
class NoRegistry final : public Registry
{
public:
    RegistryString ReadLocalMachineString(std::string_view, std::string_view) const override { return {}; }
};

// The receiving thread's error box: counts the complaints about doors' replies. Any thread.
class CountingReplyBox final : public device::WorkerMessageBox
{
public:
    void ShowError(const std::string& text, const std::string& caption) override;
    std::size_t Count() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

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
