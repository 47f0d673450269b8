// The statements that reach the server for each of the four card actions, counted from the server's
// general log for the data module's connection, against the fewest the actions' steps require; and
// whether any table description is fetched more than once on the connection.
//
//   action_statements_bench
//
// The four actions run through workflows::CardActions with a scripted operator: the employee dialog is
// the workflows' EmployeeSearch (one search narrowed to one employee, then "U redu"), the guest dialog
// the workflows' GuestRegistration. The device link uses real UDP to simulated access points in the door
// hosts (SELVO_DOOR_HOSTS) with pauses of a hundredth; without door hosts, an endpoint that sends nothing
// (the statements do not depend on the frames).
//
// The fewest statements, with A all-access points (here A = 2 of 3 points), on a connection that start-up
// has opened with both lists, and tables without column defaults (so no post sends a defaults query):
//
// Lending a never-lent spare card (ConnectButtonClick): 7 + 2A
//   1  the dialog's search: EmployeeZQ opened with the search statement (closed before any search)
//   1  "U redu": the SpareCardZQ row posted with employeeid set, one UPDATE of employeecard
//   1  "U redu": the ad hoc "UPDATE employeecard SET employeeid = %d WHERE employeecardid = %d"
//   1  TimerAccessPointZQ re-read
//   1  TimerAccessTicketZQ opened for the card (empty: never lent)
//   2A per all-access point a ticket appended and posted: its INSERT and "SELECT LAST_INSERT_ID()"
//   1  TimerAccessTicketZQ opened again, to get the tickets' keys for the frames
//   1  SpareCardZQ refreshed
// Returning it (RemoveButtonClick): 5
//   1  TimerAccessPointZQ re-read; 1 TimerAccessTicketZQ opened; the push sends no statement;
//   2  "UPDATE employeecard SET employeeid = NULL ..." and "UPDATE timeraccessticket SET employeeid = NULL ...";
//   1  SpareCardZQ refreshed
// Starting a visit on a never-used guest card (StartButtonClick): 7 + 2A
//   1  GuestZQ opened (it selects no row; one is appended)
//   2  the dialog's acceptance: the visit row's INSERT into timerguest and "SELECT LAST_INSERT_ID()"
//   1  TimerAccessPointZQ re-read; 1 TimerAccessTicketZQ opened (empty)
//   2A per all-access point a ticket's INSERT and "SELECT LAST_INSERT_ID()"
//   1  TimerAccessTicketZQ opened again; 1 GuestCardZQ refreshed
// Ending it (StopButtonClick): 4
//   1  TimerAccessPointZQ re-read; 1 TimerAccessTicketZQ opened;
//   1  "UPDATE timerguest SET employeecardid = NULL, enddatetime = '%s' WHERE employeecardid = %d";
//   1  GuestCardZQ refreshed
// Table descriptions ("SHOW TABLES FROM", "SHOW COLUMNS FROM", "SHOW KEYS FROM") are not in these counts:
// each is fetched the first time its table is needed and kept for the life of the connection, so over
// start-up and all four actions no SHOW statement may reach the server twice.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CardActions.h"
#include "Clock.h"
#include "DeviceLink.h"
#include "DoorHosts.h"
#include "EmployeeSearch.h"
#include "GuestRegistration.h"
#include "Operator.h"
#include "TavrinReserveGuestDM.h"
#include "UdpEndpoint.h"
#include "WorkflowTexts.h"

namespace {

using namespace selvo::bench;
using selvo::data::TTavrinReserveGuestDM;
namespace wf = selvo::workflows;
namespace dev = selvo::device;
using dev::test::SimulatedAccessPoint;

constexpr int AllAccessPoints = 2;

// The porter: answers the dialogs as scripted, remembers the messages.
class ScriptedOperator final : public wf::Operator, public dev::PlainMessage
{
public:
    explicit ScriptedOperator(TTavrinReserveGuestDM& dm) : m_dm(dm) {}

    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    std::unique_ptr<wf::WaitCursor> ShowWaitCursor() override { return std::make_unique<wf::WaitCursor>(); }
    void RunEmployeeDialog() override { EmployeeDialog(); }
    void RunGuestDialog() override { GuestDialog(); }
    std::optional<int> SelectedCard(wf::CardList list) override
    {
        selvo::data::TZQuery& query = list == wf::CardList::Spare ? m_dm.SpareCardZQ : m_dm.GuestCardZQ;
        if (!query.Active() || query.IsEmpty()) {
            return std::nullopt;
        }
        return query.RecNo();
    }

    std::vector<std::string> Messages;
    std::function<void()> EmployeeDialog;
    std::function<void()> GuestDialog;

private:
    TTavrinReserveGuestDM& m_dm;
};

// A hundredth of every pause: time for a reply over a veth pair, not for the push's pace.
class FastSleeper final : public dev::Sleeper
{
public:
    void Sleep(std::chrono::milliseconds duration) override { dev::ThreadSleeper().Sleep(duration / 100); }
};

// Used without door hosts: opens, closes and sends nothing.
class SilentEndpoint final : public dev::UdpEndpoint
{
public:
    void SetDefaultPort(std::int32_t) override {}
    void SetOnUDPRead(DatagramHandler) override {}
    void SetBroadcastEnabled(bool) override {}
    void Open() override { m_open = true; }
    bool IsOpen() const override { return m_open; }
    void Send(const std::string&, std::int32_t, std::span<const std::uint8_t>) override {}
    void Close() override { m_open = false; }

private:
    bool m_open = false;
};

void Select(selvo::data::TZQuery& query, selvo::data::TField& key, int cardId)
{
    for (query.First(); !query.Eof(); query.Next()) {
        if (key.AsInteger() == cardId) {
            return;
        }
    }
    throw std::runtime_error("card " + std::to_string(cardId) + " is not in its list");
}

bool IsDescription(const std::string& statement)
{
    return statement.rfind("SHOW ", 0) == 0;
}

} // namespace

int main()
{
    ArmWatchdog(150);
    try {
        const dev::test::DoorHosts doorHosts = dev::test::ReadDoorHosts();
        const std::vector<dev::test::DoorHost>& hosts = doorHosts.Hosts;
        const bool realUdp = hosts.size() >= 2;

        BenchServer server;
        TestDatabase db(server.Address(), "selvo_bench_actions");
        SetGeneralLog(db, true);
        AddEmployees(db, 3);
        AddCards(db, 1, 1, [](int) { return 0; }); // spare card 1, guest card 2, both free and never used

        std::vector<std::unique_ptr<SimulatedAccessPoint>> doors;
        const std::vector<std::uint16_t> ports = dev::test::FreeUdpPorts(3);
        // Points 1 and 3 are all-access with a door behind each; point 2 is never contacted.
        const std::string address1 = realUdp ? hosts[0].DoorAddress : "127.0.0.1";
        const std::string address3 = realUdp ? hosts[1].DoorAddress : "127.0.0.1";
        if (realUdp) {
            doors.push_back(std::make_unique<SimulatedAccessPoint>(hosts[0], ports[0], "ok"));
            doors.push_back(std::make_unique<SimulatedAccessPoint>(hosts[1], ports[2], "ok"));
        }
        db.Exec("INSERT INTO timeraccesspoint (timeraccesspointid, name, macaddress, localip, publicip, udpport, "
                "tcpport, currentdeviceindex, active, comment, allaccess, readaccess, outdoor) VALUES "
                "(1,'Ulaz','00:00:00:00:00:01','" +
                address1 + "','" + address1 + "'," + std::to_string(ports[0]) +
                ",0,0,'Y',NULL,'Y','Y','N'),"
                "(2,'Magacin','00:00:00:00:00:02','" +
                address1 + "','" + address1 + "'," + std::to_string(ports[1]) +
                ",0,0,'Y',NULL,'N','Y','N'),"
                "(3,'Kapija','00:00:00:00:00:03','" +
                address3 + "','" + address3 + "'," + std::to_string(ports[2]) + ",0,0,'Y',NULL,'Y','Y','Y')");

        TTavrinReserveGuestDM dm;
        ScriptedOperator porter(dm);
        CountingReplyBox replyBox;
        FastSleeper sleeper;
        std::unique_ptr<dev::DeviceLink> link =
            realUdp ? std::make_unique<dev::DeviceLink>(porter, replyBox, sleeper)
                    : std::make_unique<dev::DeviceLink>(porter, replyBox, sleeper, std::make_unique<SilentEndpoint>());
        wf::CardActions actions(dm, *link, porter);

        // Start-up's part: connect, both lists open.
        OpenCardLists(db, dm);
        const unsigned long thread = dm.ZConnection.ThreadId();

        porter.EmployeeDialog = [&dm] {
            wf::EmployeeSearch search(dm);
            wf::SearchValues values;
            values[static_cast<std::size_t>(wf::SearchKey::Prezime)] = "Jovanovi\xE6"
                                                                       "1";
            search.FindButtonClick(values);
            if (!search.OkButtonClick()) {
                throw std::runtime_error("the employee search found nobody to choose");
            }
        };
        porter.GuestDialog = [&dm] {
            wf::GuestRegistration registration(dm, wf::TheSystemClock());
            if (registration.OkButtonClick({"Posetilac", "Gost", "0101990710000", "", ""}) !=
                wf::GuestAcceptance::Accepted) {
                throw std::runtime_error("the guest dialog did not accept");
            }
        };

        struct Step
        {
            const char* Name;
            int Minimum;
            std::string_view Success;
            std::function<void()> Run;
        };
        const std::vector<Step> steps = {
            {"statements: lend a never-lent card", 7 + 2 * AllAccessPoints, wf::CardAddedText,
             [&] {
                 Select(dm.SpareCardZQ, dm.SpareCardZQemployeecardid, 1);
                 actions.ConnectButtonClick();
             }},
            {"statements: return it", 5, wf::CardRemovedText,
             [&] {
                 Select(dm.SpareCardZQ, dm.SpareCardZQemployeecardid, 1);
                 actions.RemoveButtonClick();
             }},
            {"statements: start a visit on a never-used card", 7 + 2 * AllAccessPoints, wf::CardAddedText,
             [&] {
                 Select(dm.GuestCardZQ, dm.GuestCardZQemployeecardid, 2);
                 actions.StartButtonClick();
             }},
            {"statements: end the visit", 4, wf::CardRemovedText,
             [&] {
                 Select(dm.GuestCardZQ, dm.GuestCardZQemployeecardid, 2);
                 actions.StopButtonClick();
             }},
        };

        std::vector<Result> results;
        std::size_t seen = db.StatementsOf(thread, selvo::test::LineEnds::Drop).size();
        std::printf("start-up sent %zu statements\n", seen);
        for (const Step& step : steps) {
            porter.Messages.clear();
            step.Run();
            if (porter.Messages != std::vector<std::string>{std::string(step.Success)}) {
                throw std::runtime_error(std::string(step.Name) + ": the action did not end with its success message");
            }
            const auto all = db.StatementsOf(thread, selvo::test::LineEnds::Drop);
            int counted = 0;
            int descriptions = 0;
            std::printf("%s:\n", step.Name);
            for (std::size_t i = seen; i < all.size(); ++i) {
                const bool description = IsDescription(all[i]);
                (description ? descriptions : counted) += 1;
                std::string shown = all[i];
                std::replace(shown.begin(), shown.end(), '\r', ' ');
                std::replace(shown.begin(), shown.end(), '\n', ' ');
                std::printf("  %s %.150s\n", description ? "(description)" : "-", shown.c_str());
            }
            seen = all.size();
            Result result;
            result.Name = step.Name;
            result.Measured = std::to_string(counted);
            result.Baseline = std::to_string(step.Minimum) + " (fewest)";
            result.Ratio = static_cast<double>(counted) / step.Minimum;
            result.Goal = "equal";
            result.Met = counted == step.Minimum;
            result.Note = std::to_string(descriptions) + " table-description statements besides";
            results.push_back(result);
        }

        // Table descriptions over the whole connection: start-up and the four actions.
        std::map<std::string, int> descriptions;
        for (const std::string& statement : db.StatementsOf(thread, selvo::test::LineEnds::Drop)) {
            if (IsDescription(statement)) {
                ++descriptions[statement];
            }
        }
        int total = 0;
        int most = 0;
        std::string repeated;
        for (const auto& [statement, count] : descriptions) {
            total += count;
            most = std::max(most, count);
            if (count > 1) {
                repeated += (repeated.empty() ? "" : "; ") + statement + " x" + std::to_string(count);
            }
        }
        Result once;
        once.Name = "table descriptions per connection";
        once.Measured = std::to_string(total) + " SHOW, " + std::to_string(descriptions.size()) + " distinct";
        once.Baseline = "each once";
        once.Ratio = most == 0 ? 1.0 : most;
        once.Goal = "each once";
        once.Met = most <= 1;
        once.Note = repeated.empty() ? "no SHOW statement sent twice" : "repeated: " + repeated;
        results.push_back(once);

        std::string frames = "device link: silent endpoint (" + doorHosts.Unavailable + ")";
        if (realUdp) {
            const std::size_t first = doors[0]->IntactFrames(4);
            const std::size_t second = doors[1]->IntactFrames(4);
            if (first != 4 || second != 4) {
                throw std::runtime_error("the simulated doors logged " + std::to_string(first) + " and " +
                                         std::to_string(second) + " intact frames, not 4 each");
            }
            if (replyBox.Count() != 0) {
                throw std::runtime_error("the reply listener complained about a door's reply");
            }
            frames = "real UDP, 2 simulated doors, 4 frames each";
        }
        for (Result& result : results) {
            result.Note += "; " + frames;
            result.Peak = Format("%.1f MiB", static_cast<double>(PeakKilobytes()) / 1024.0);
            Report(result);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "action_statements_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
