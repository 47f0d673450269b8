// The employee search over 100 000 employees with all four values empty, which returns every one of
// them, against the mariadb command-line client running the same statement into /dev/null; and the
// peak memory of the program with that result open.
//
//   employee_search_bench [runs]
//
// The program here is the whole window on the offscreen Qt platform: the data module, TMainForm with
// both card lists open (10 000 + 10 000 cards, none lent, so no employee is left out), and the employee
// dialog TGetEmployeeForm shown, whose FindButtonClick runs the search and fills its grid. Also timed,
// for the notes: the workflows' search alone followed by a walk over every row. Built without the
// window it measures the data module process alone.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#ifdef SELVO_BENCH_GUI
#include <QApplication>

#include "GetEmployeeForm.h"
#include "MainForm.h"
#endif

#include "BenchSupport.h"
#include "EmployeeSearch.h"
#include "TavrinReserveGuestDM.h"

namespace {

using namespace selvo::bench;
using selvo::data::TTavrinReserveGuestDM;
using selvo::workflows::EmployeeSearch;
using selvo::workflows::SearchValues;

constexpr int Employees = 100000;
constexpr int CardsPerList = 10000;
constexpr long GoalKilobytes = 80L * 1024;

void CheckResult(const TTavrinReserveGuestDM& dm)
{
    if (!dm.EmployeeZQ.Active() || dm.EmployeeZQ.RecordCount() != Employees) {
        throw std::runtime_error("the search did not return all " + std::to_string(Employees) + " employees");
    }
}

// The workflows' search, then every row read as the grid would read it.
double SearchAndWalk(TTavrinReserveGuestDM& dm, long long& checksum)
{
    const auto start = Clock::now();
    EmployeeSearch search(dm);
    search.FindButtonClick(SearchValues{});
    for (dm.EmployeeZQ.First(); !dm.EmployeeZQ.Eof(); dm.EmployeeZQ.Next()) {
        checksum += dm.EmployeeZQemployeeid.AsInteger();
        checksum += static_cast<long long>(dm.EmployeeZQlastname.AsString().size());
        checksum += static_cast<long long>(dm.EmployeeZQfirstname.AsString().size());
        checksum += static_cast<long long>(dm.EmployeeZQpersonalidentificator.AsString().size());
    }
    const double ms = MillisecondsSince(start);
    CheckResult(dm);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    ArmWatchdog(150);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    try {
        BenchServer server;
        TestDatabase db(server.Address(), "selvo_bench_search");
        AddEmployees(db, Employees);
        AddCards(db, CardsPerList, CardsPerList, [](int) { return 0; });
        SetGeneralLog(db, false);

        std::vector<double> program;
        std::vector<double> workflow;
        std::vector<double> client;
        long clientPeak = 0;
        long long checksum = 0;
        TTavrinReserveGuestDM dm;
#ifdef SELVO_BENCH_GUI
        ProgramFolder folder(db);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        NoRegistry registry;
        selvo::ui::TMainForm form(dm, folder.ExecutablePath(), registry);
        form.ShowCentred();
        app.processEvents();
#else
        OpenCardLists(db, dm);
#endif
        if (dm.SpareCardZQ.RecordCount() != CardsPerList || dm.GuestCardZQ.RecordCount() != CardsPerList) {
            throw std::runtime_error("the card lists did not open");
        }
        const std::string sql = selvo::workflows::BuildSearchSql(dm.ZConnection, SearchValues{});
        std::printf("statement: %s\n", sql.c_str());
        const long beforeSearch = PeakKilobytes();

        const auto clientRun = [&] {
            const ClientRun run = RunClient(server.Address(), db.Name(), {sql});
            client.push_back(run.Milliseconds);
            clientPeak = std::max(clientPeak, run.PeakKilobytes);
        };
        RunClient(server.Address(), db.Name(), {sql}); // the server's caches warm
#ifdef SELVO_BENCH_GUI
        long peak = 0;
        {
            selvo::ui::TGetEmployeeForm dialog(dm, &form);
            dialog.show();
            app.processEvents();
            dialog.FindButtonClick();
            app.processEvents();
            for (int run = 0; run < runs; ++run) {
                const auto start = Clock::now();
                dialog.FindButtonClick();
                app.processEvents(); // the grid painted with the first rows
                program.push_back(MillisecondsSince(start));
                CheckResult(dm);
                clientRun();
            }
            // The dialog open on its own search, its grid showing the result.
            peak = PeakKilobytes();
        }
        // The data module alone, once no grid follows EmployeeZQ's cursor (a grid that does makes a walk
        // over 100 000 rows cost far more than the search: each move updates its current index).
        for (int run = 0; run < runs; ++run) {
            workflow.push_back(SearchAndWalk(dm, checksum));
        }
#else
        SearchAndWalk(dm, checksum);
        for (int run = 0; run < runs; ++run) {
            workflow.push_back(SearchAndWalk(dm, checksum));
            clientRun();
        }
        const long peak = PeakKilobytes();
#endif
        SetGeneralLog(db, true);

        const double clientMs = Median(client);
        const double workflowMs = Median(workflow);
        std::printf("runs: %d (checksum %lld)\n", runs, checksum);
        std::printf("EmployeeSearch::FindButtonClick and a walk over every row: %8.2f ms median\n", workflowMs);
        std::printf("mariadb client, same statement into /dev/null:            %8.2f ms median (peak %ld kB)\n",
                    clientMs, clientPeak);
        std::printf("peak memory (VmHWM): %ld kB, %ld kB before the first search\n", peak, beforeSearch);

        Result time;
        time.Name = "employee search, all 100 000 rows";
        time.Baseline = Format("%.1f ms", clientMs) + " (mariadb client)";
        time.Goal = "<= 1.3x";
        Result memory;
        memory.Name = "peak memory with the search result open";
        memory.Measured = Format("%.1f MiB", static_cast<double>(peak) / 1024.0);
        memory.Baseline = Format("%.0f MiB", static_cast<double>(GoalKilobytes) / 1024.0) + " (goal)";
        memory.Ratio = static_cast<double>(peak) / static_cast<double>(GoalKilobytes);
        memory.Goal = "<= 80 MiB";
        memory.Met = peak <= GoalKilobytes;
        memory.Peak = memory.Measured;
#ifdef SELVO_BENCH_GUI
        const double programMs = Median(program);
        std::printf("TGetEmployeeForm::FindButtonClick with the grid painted:    %8.2f ms median\n", programMs);
        time.Measured = Format("%.1f ms", programMs);
        time.Ratio = programMs / clientMs;
        time.Note = "TGetEmployeeForm::FindButtonClick + grid paint, offscreen Qt; EmployeeSearch "
                    "+ walk over every "
                    "row " +
                    Format("%.1f ms", workflowMs);
        memory.Note = "VmHWM of the whole window process (TMainForm, both lists, dialog with the result); " +
                      Format("%.1f MiB", static_cast<double>(beforeSearch) / 1024.0) + " before the first search";
#else
        time.Measured = Format("%.1f ms", workflowMs);
        time.Ratio = workflowMs / clientMs;
        time.Note = "data module path: EmployeeSearch + walk over every row (built without the window)";
        memory.Note = "VmHWM of the data module process, not the window program (built without the window)";
#endif
        time.Met = time.Ratio <= 1.3;
        time.Peak = Format("%.1f MiB", static_cast<double>(peak) / 1024.0) + " (client " +
                    Format("%.1f MiB", static_cast<double>(clientPeak) / 1024.0) + ")";
        Report(time);
        Report(memory);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "employee_search_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
