// Start-up until both card lists are open, with 10 000 spare and 10 000 guest cards, against the
// mariadb command-line client running the same two statements into /dev/null.
//
//   start_up_bench [runs]
//
// The program's own path is the main window's creation on the offscreen Qt platform: a fresh data
// module and TMainForm, whose FormCreate reads Selvo.ini beside the program path, connects and opens
// SpareCardZQ and GuestCardZQ with their texts. Also measured, for the notes: the same steps on the
// data module alone, and a whole process (exec, toolkit, window, both lists open) against the client's
// whole process. Built without the window (SELVO_BUILD_GUI=OFF) it measures the data module path only.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#ifdef SELVO_BENCH_GUI
#include <QApplication>

#include "MainForm.h"
#endif

#include "BenchSupport.h"
#include "TavrinReserveGuestDM.h"

namespace {

using namespace selvo::bench;
using selvo::data::TTavrinReserveGuestDM;

constexpr int CardsPerList = 10000;

void CheckLists(const TTavrinReserveGuestDM& dm)
{
    if (!dm.SpareCardZQ.Active() || !dm.GuestCardZQ.Active() || dm.SpareCardZQ.RecordCount() != CardsPerList ||
        dm.GuestCardZQ.RecordCount() != CardsPerList) {
        throw std::runtime_error("the two lists did not open with " + std::to_string(CardsPerList) + " rows each");
    }
}

// What FormCreate does with the connection and the lists, on the data module alone.
double DataModuleStartUp(const TestDatabase& db)
{
    const auto start = Clock::now();
    TTavrinReserveGuestDM dm;
    OpenCardLists(db, dm);
    const double ms = MillisecondsSince(start);
    CheckLists(dm);
    return ms;
}

#ifdef SELVO_BENCH_GUI
double WindowStartUp(const std::string& executablePath)
{
    NoRegistry registry;
    const auto start = Clock::now();
    TTavrinReserveGuestDM dm;
    selvo::ui::TMainForm form(dm, executablePath, registry);
    const double ms = MillisecondsSince(start);
    CheckLists(dm);
    return ms;
}

// The whole-process run: toolkit, data module, window, both lists open, then out at once.
int OnceMain(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    NoRegistry registry;
    TTavrinReserveGuestDM dm;
    selvo::ui::TMainForm form(dm, argv[2], registry);
    CheckLists(dm);
    std::_Exit(0);
}
#endif

} // namespace

int main(int argc, char** argv)
{
    ArmWatchdog(150);
#ifdef SELVO_BENCH_GUI
    if (argc > 2 && std::strcmp(argv[1], "--once") == 0) {
        try {
            return OnceMain(argc, argv);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "start_up_bench --once: %s\n", error.what());
            return 1;
        }
    }
#endif
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    try {
        BenchServer server;
        TestDatabase db(server.Address(), "selvo_bench_startup");
        // Every other spare card lent, every other guest card with an open visit: both joins give names.
        AddEmployees(db, CardsPerList / 2);
        AddCards(db, CardsPerList, CardsPerList, [](int i) { return i % 2 == 0 ? i / 2 + 1 : 0; });
        InsertRows(db, "timerguest", "firstname, lastname, personalidentificator, startdatetime, employeecardid",
                   CardsPerList / 2, [](int i) {
                       return "('Gost" + std::to_string(i) + "','Posetilac" + std::to_string(i) +
                              "','0101990','2024-03-05 08:00:00'," + std::to_string(CardsPerList + 2 * i + 1) + ")";
                   });
        SetGeneralLog(db, false);
        const std::vector<std::string> statements = {std::string(selvo::data::SpareCardListSql),
                                                     std::string(selvo::data::GuestCardListSql)};

        std::vector<double> program;
        std::vector<double> dataModule;
        std::vector<double> client;
        long clientPeak = 0;
#ifdef SELVO_BENCH_GUI
        ProgramFolder folder(db);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        std::vector<double> process;
        const std::string self = std::filesystem::canonical("/proc/self/exe").string();
        std::vector<double> clientProcess;
        WindowStartUp(folder.ExecutablePath()); // fonts, styles and the server's caches warm
#endif
        DataModuleStartUp(db);
        RunClient(server.Address(), db.Name(), statements);
        for (int run = 0; run < runs; ++run) {
            // Alternating, so that all see the same server state.
#ifdef SELVO_BENCH_GUI
            program.push_back(WindowStartUp(folder.ExecutablePath()));
#endif
            dataModule.push_back(DataModuleStartUp(db));
            const ClientRun clientRun = RunClient(server.Address(), db.Name(), statements);
            client.push_back(clientRun.Milliseconds);
            clientPeak = std::max(clientPeak, clientRun.PeakKilobytes);
#ifdef SELVO_BENCH_GUI
            if (run < 5) {
                process.push_back(RunProcess({self, "--once", folder.ExecutablePath()}, true).Milliseconds);
                clientProcess.push_back(clientRun.Milliseconds);
            }
#endif
        }
        SetGeneralLog(db, true);

        const double clientMs = Median(client);
        const double dataMs = Median(dataModule);
        std::printf("runs: %d\n", runs);
        std::printf("data module (connect, open SpareCardZQ and GuestCardZQ): %8.2f ms median\n", dataMs);
        std::printf("mariadb client, both statements into /dev/null:          %8.2f ms median (peak %ld kB)\n",
                    clientMs, clientPeak);
        Result result;
        result.Name = "start-up, both lists open (10 000 + 10 000 cards)";
        result.Baseline = Format("%.1f ms", clientMs) + " (mariadb client)";
        result.Goal = "<= 1.3x";
#ifdef SELVO_BENCH_GUI
        const double programMs = Median(program);
        const double processMs = Median(process);
        std::printf("TMainForm creation with FormCreate (offscreen):          %8.2f ms median\n", programMs);
        std::printf("whole process to both lists open (5 runs):                %8.2f ms median\n", processMs);
        result.Measured = Format("%.1f ms", programMs);
        result.Ratio = programMs / clientMs;
        result.Note = "TMainForm::FormCreate, offscreen Qt; data module alone " + Format("%.1f ms", dataMs) +
                      "; whole process exec..lists open " + Format("%.1f ms", processMs) + " (" +
                      Format("%.2fx", processMs / Median(clientProcess)) + ")";
#else
        result.Measured = Format("%.1f ms", dataMs);
        result.Ratio = dataMs / clientMs;
        result.Note = "data module path (built without the window)";
#endif
        result.Met = result.Ratio <= 1.3;
        // This process made the window once per run; the client's peak is the largest of its runs.
        result.Peak = Format("%.1f MiB", static_cast<double>(PeakKilobytes()) / 1024.0) + " (client " +
                      Format("%.1f MiB", static_cast<double>(clientPeak) / 1024.0) + ")";
        Report(result);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "start_up_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
