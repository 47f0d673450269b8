// The desk after its database session ended under it (KILL CONNECTION from another session, the server
// stopped and started on the same port and data folder): each action, the dialogs' search and
// confirmation and a list refresh give the rows, statements and frames that the same action gives on a
// desk whose session is untouched.
#include <functional>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "EmployeeSearch.h"
#include "GuestRegistration.h"
#include "PrivateServer.h"
#include "WorkflowTestSupport.h"

namespace selvo::workflows::test {
namespace {

using Strings = std::vector<std::string>;

enum class Step
{
    Lending,
    LendingConfirmedAfterTheDrop, // the session ends while the employee dialog is open, after its search
    Return,
    VisitStart,
    VisitConfirmedAfterTheDrop, // the session ends while the guest dialog is open
    VisitEnd,
    ListRefresh,
};

const Step AllSteps[] = {Step::Lending,    Step::LendingConfirmedAfterTheDrop, Step::Return,
                         Step::VisitStart, Step::VisitConfirmedAfterTheDrop,   Step::VisitEnd,
                         Step::ListRefresh};

std::string NameOf(Step step)
{
    switch (step) {
    case Step::Lending:
        return "Lending";
    case Step::LendingConfirmedAfterTheDrop:
        return "LendingConfirmedAfterTheDrop";
    case Step::Return:
        return "Return";
    case Step::VisitStart:
        return "VisitStart";
    case Step::VisitConfirmedAfterTheDrop:
        return "VisitConfirmedAfterTheDrop";
    case Step::VisitEnd:
        return "VisitEnd";
    case Step::ListRefresh:
        return "ListRefresh";
    }
    return "?";
}

// What the porter, the database and the doors saw of one step.
struct Outcome
{
    Strings Statements;   // from the mark on, in every session of the desk, table descriptions aside
    Strings Descriptions; // the SHOW statements of the session that replaced the ended one
    std::vector<std::vector<selvo::test::Row>> Rows;
    Strings Frames;
    Strings Events;
};

bool IsShow(const std::string& statement)
{
    return statement.rfind("SHOW ", 0) == 0;
}

// Ends the desk's database session; nothing for the desk whose session stays.
using Drop = std::function<void(NetDesk&)>;

// The same installation on every desk: a free and a lent spare card, a free guest card and one in
// use, each out card with tickets at the two all-access points of three.
struct Installation
{
    int FreeSpare = 0;
    int LentSpare = 0;
    int FreeGuest = 0;
    int UsedGuest = 0;
};

Installation Furnish(NetDesk& desk)
{
    Installation cards;
    desk.AddEmployee("Petrovic", "Ana");
    const int holder = desk.AddEmployee("Jovic", "Marko");
    cards.FreeSpare = desk.AddCard("R1", 1234567, "REZERVA");
    cards.LentSpare = desk.AddCard("R2", 1234568, "REZERVA", holder);
    cards.FreeGuest = desk.AddCard("G1", 700, "GOST");
    cards.UsedGuest = desk.AddCard("G2", 701, "GOST");
    desk.Db.Exec("INSERT INTO timerguest (firstname, lastname, regcode, startdatetime, employeecardid) VALUES "
                 "('Mila','Ilic','AB1','2026-03-05 08:00:00'," +
                 std::to_string(cards.UsedGuest) + ")");
    const int visit = std::stoi(desk.Value("SELECT MAX(timerguestid) FROM timerguest"));
    for (const bool allAccess : {true, false, true}) {
        const Door& door = desk.AddDoor(allAccess);
        if (allAccess) {
            desk.AddTicket(door.PointId, cards.LentSpare, holder);
            desk.AddTicket(door.PointId, cards.UsedGuest, std::nullopt, visit);
        }
    }
    desk.OpenLists();
    return cards;
}

// Runs the step on a freshly furnished desk, the session ended by `drop` right before it (or, for
// the ...ConfirmedAfterTheDrop steps, inside the dialog).
Outcome Act(NetDesk& desk, Step step, const Drop& drop)
{
    const Installation cards = Furnish(desk);
    Strings before; // the ended session's statements from the mark on
    bool dropped = false;
    const auto dropNow = [&] {
        if (drop) {
            before = desk.StatementsSinceMark();
            drop(desk);
            dropped = true;
        }
    };
    const auto chooseEmployee = [&](bool dropInside) {
        return [&desk, &dropNow, dropInside] {
            EmployeeSearch search(desk.Dm);
            search.FindButtonClick({"Pet", "", "", ""});
            if (dropInside) {
                dropNow();
            }
            search.OkButtonClick();
        };
    };
    const auto registerGuest = [&](bool dropInside) {
        return [&desk, &dropNow, dropInside] {
            if (dropInside) {
                dropNow();
            }
            GuestRegistration(desk.Dm, desk.TestClock).OkButtonClick({"Petrovic", "Ana", "", "AB123", ""});
        };
    };
    desk.Mark();
    switch (step) {
    case Step::Lending:
    case Step::LendingConfirmedAfterTheDrop: {
        const bool inside = step == Step::LendingConfirmedAfterTheDrop;
        desk.Select(CardList::Spare, cards.FreeSpare);
        desk.Porter.EmployeeDialog = chooseEmployee(inside);
        if (!inside) {
            dropNow();
        }
        desk.Actions.ConnectButtonClick();
        break;
    }
    case Step::Return:
        desk.Select(CardList::Spare, cards.LentSpare);
        dropNow();
        desk.Actions.RemoveButtonClick();
        break;
    case Step::VisitStart:
    case Step::VisitConfirmedAfterTheDrop: {
        const bool inside = step == Step::VisitConfirmedAfterTheDrop;
        desk.Select(CardList::Guest, cards.FreeGuest);
        desk.Porter.GuestDialog = registerGuest(inside);
        if (!inside) {
            dropNow();
        }
        desk.Actions.StartButtonClick();
        break;
    }
    case Step::VisitEnd:
        desk.Select(CardList::Guest, cards.UsedGuest);
        dropNow();
        desk.Actions.StopButtonClick();
        break;
    case Step::ListRefresh:
        dropNow();
        desk.Dm.SpareCardZQ.Refresh();
        desk.Dm.GuestCardZQ.Refresh();
        break;
    }
    EXPECT_EQ(dropped, static_cast<bool>(drop));

    Outcome outcome;
    Strings sent = before;
    if (dropped) {
        for (std::string& statement :
             desk.Db.StatementsOf(desk.Dm.ZConnection.ThreadId(), selvo::test::LineEnds::Drop)) {
            if (IsShow(statement)) {
                outcome.Descriptions.push_back(statement);
            } else {
                sent.push_back(std::move(statement));
            }
        }
    } else {
        sent = desk.StatementsSinceMark();
    }
    for (std::string& statement : sent) {
        if (!IsShow(statement)) {
            outcome.Statements.push_back(std::move(statement));
        }
    }
    outcome.Rows = {
        desk.Rows("SELECT employeecardid, employeeid, cardcode, name, active, comment FROM employeecard "
                  "ORDER BY employeecardid"),
        desk.Rows("SELECT timerguestid, firstname, lastname, personalidentificator, regcode, startdatetime, "
                  "enddatetime, description, employeecardid FROM timerguest ORDER BY timerguestid"),
        desk.Rows("SELECT timeraccessticketid, timeraccesspointid, employeecardid, employeeid, timerguestid, active, "
                  "comment FROM timeraccessticket ORDER BY timeraccessticketid"),
    };
    std::size_t point = 0;
    for (const auto& door : desk.Doors) {
        const bool allAccess = point++ != 1;
        for (const auto& frame : door->Frames(allAccess && step != Step::ListRefresh ? 1 : 0)) {
            outcome.Frames.push_back("point " + std::to_string(point) + ": " + frame.Command +
                                     " ticket=" + std::to_string(frame.Ticket) + " card=" + std::to_string(frame.Card) +
                                     " enable=" + std::to_string(frame.Enable) +
                                     (frame.CrcOk ? " crc=ok" : " crc=bad"));
        }
    }
    outcome.Events = desk.Porter.Events();
    return outcome;
}

// The step after `drop` against the same step on a desk that just started.
void ExpectAsAFirstAction(const selvo::test::ServerAddress& server, const std::vector<device::test::DoorHost>& hosts,
                          Step step, const Drop& drop)
{
    SCOPED_TRACE(NameOf(step));
    Outcome expected;
    {
        NetDesk first(server);
        first.Hosts = hosts;
        expected = Act(first, step, nullptr);
    }
    NetDesk desk(server);
    desk.Hosts = hosts;
    const Outcome outcome = Act(desk, step, drop);

    EXPECT_EQ(outcome.Statements, expected.Statements);
    EXPECT_EQ(outcome.Rows, expected.Rows);
    EXPECT_EQ(outcome.Frames, expected.Frames);
    EXPECT_EQ(outcome.Events, expected.Events);
    EXPECT_EQ(std::set<std::string>(outcome.Descriptions.begin(), outcome.Descriptions.end()).size(),
              outcome.Descriptions.size())
        << "a new session describes each table once";
    if (step != Step::ListRefresh) {
        EXPECT_FALSE(expected.Frames.empty());
    }
}

class NetReconnectTest : public ::testing::TestWithParam<Step>
{
protected:
    void SetUp() override { SELVO_REQUIRE_DOOR_HOSTS(Hosts, 1); }

    std::vector<device::test::DoorHost> Hosts;
};

TEST_P(NetReconnectTest, AfterAKillTheActionWorksAsAFirstActionWould)
{
    ExpectAsAFirstAction(selvo::test::TestServer(), Hosts, GetParam(),
                         [](NetDesk& desk) { desk.Db.KillConnection(desk.Dm.ZConnection.ThreadId()); });
}

INSTANTIATE_TEST_SUITE_P(NetReconnect, NetReconnectTest, ::testing::ValuesIn(AllSteps),
                         [](const ::testing::TestParamInfo<Step>& step) { return NameOf(step.param); });

// One private server for every step: starting one takes seconds.
class NetServerRestartTest : public ::testing::Test
{
protected:
    void SetUp() override { SELVO_REQUIRE_DOOR_HOSTS(Hosts, 1); }

    std::vector<device::test::DoorHost> Hosts;
};

TEST_F(NetServerRestartTest, AfterARestartEachActionWorksAsAFirstActionWould)
{
    selvo::test::PrivateServer server;
    for (const Step step : AllSteps) {
        ExpectAsAFirstAction(server.Address(), Hosts, step, [&server](NetDesk& desk) {
            server.Restart();
            desk.Db.Reconnect();
            // The restarted server numbers its sessions from 1 again.
            desk.Db.Exec("TRUNCATE TABLE mysql.general_log");
        });
    }
}

} // namespace
} // namespace selvo::workflows::test
