// Opens SpareCardZQ on 10 000 spare card rows and walks it, against the mariadb command-line client
// running the same statement into /dev/null, on the bench server (see BenchSupport.h).
//
//   spare_card_bench [rows] [runs]
//
// Prints the median times, their ratio and the peak memory (VmHWM) of this process and of the client.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "TavrinReserveGuestDM.h"

namespace {

using namespace selvo::bench;
using selvo::data::TTavrinReserveGuestDM;

// One opening of the spare card list and a walk reading every field of every row.
double OpenAndWalk(TTavrinReserveGuestDM& dm, long long& checksum, int& rowsSeen)
{
    const auto start = Clock::now();
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
    return MillisecondsSince(start);
}

} // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 15;
    ArmWatchdog(150);
    try {
        BenchServer server;
        TestDatabase db(server.Address(), "selvo_bench_spare");
        // Employees hold every other card, so half the rows carry a name from the join.
        AddEmployees(db, rows / 2);
        AddCards(db, rows, 0, [](int i) { return i % 2 == 0 ? i / 2 + 1 : 0; });
        SetGeneralLog(db, false);

        const long baseline = PeakKilobytes();
        std::vector<double> cold;
        std::vector<double> warm;
        std::vector<double> client;
        long clientPeak = 0;
        long long checksum = 0;
        int seen = 0;
        {
            TTavrinReserveGuestDM warmDm;
            db.Configure(warmDm.ZConnection);
            OpenAndWalk(warmDm, checksum, seen); // connects and describes the tables once
            for (int run = 0; run < runs; ++run) {
                // Alternating, so that both see the same server state.
                const auto start = Clock::now();
                {
                    TTavrinReserveGuestDM dm;
                    db.Configure(dm.ZConnection);
                    OpenAndWalk(dm, checksum, seen);
                }
                cold.push_back(MillisecondsSince(start));
                warm.push_back(OpenAndWalk(warmDm, checksum, seen));
                const ClientRun run1 =
                    RunClient(server.Address(), db.Name(), {std::string(selvo::data::SpareCardListSql)});
                client.push_back(run1.Milliseconds);
                clientPeak = std::max(clientPeak, run1.PeakKilobytes);
            }
        }
        SetGeneralLog(db, true);
        const double coldMs = Median(cold);
        const double warmMs = Median(warm);
        const double clientMs = Median(client);
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
