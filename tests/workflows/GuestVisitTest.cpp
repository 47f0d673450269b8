// Start and end of a guest visit, end to end: the data module on the test server, the device link on
// real sockets, simulated doors in the door hosts, a scripted porter.
#include <gtest/gtest.h>

#include "DeviceTexts.h"
#include "GuestRegistration.h"
#include "WorkflowTestSupport.h"
#include "WorkflowTexts.h"

namespace selvo::workflows::test {
namespace {

using Strings = std::vector<std::string>;

// The guest dialog as a porter uses it: types the guest in and accepts, at the clock's time then.
std::function<void()> RegisterGuest(data::TTavrinReserveGuestDM& dm, const Clock& clock, GuestEntry entry)
{
    return [&dm, &clock, entry] {
        GuestRegistration registration(dm, clock);
        registration.OkButtonClick(entry);
    };
}

const GuestEntry Ana = {"Petrovic", "Ana", "", "AB123", ""};

class GuestVisitTest : public ::testing::Test, public Desk
{
};

TEST_F(GuestVisitTest, StartingOnACardInUseOnlySaysSo)
{
    const int card = AddCard("G1", 700, "GOST");
    Db.Exec("INSERT INTO timerguest (firstname, lastname, regcode, startdatetime, employeecardid) VALUES "
            "('Ana','Petrovic','AB1','2026-03-05 08:00:00'," +
            std::to_string(card) + ")");
    OpenLists();
    Select(CardList::Guest, card);
    Mark();

    Actions.StartButtonClick();

    EXPECT_EQ(Porter.Events(), Strings{"message:" + S(CardAlreadyLentText)});
    EXPECT_TRUE(StatementsSinceMark().empty());
}

TEST_F(GuestVisitTest, ADialogClosedWithoutAcceptanceWritesNothingAndLeavesNoRowPending)
{
    const int card = AddCard("G1", 700, "GOST");
    AddPoint("198.18.0.2", 4001, true);
    OpenLists();
    Select(CardList::Guest, card);
    // Typed, then closed with the window's close box.
    Porter.GuestDialog = [this] { Dm.GuestZQfirstname.SetAsString("Ana"); };
    Mark();

    Actions.StartButtonClick();

    EXPECT_EQ(Porter.Events(), Strings{"guest dialog"});
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timerguest"), "0");
    EXPECT_TRUE(StartingWith(StatementsSinceMark(), "INSERT").empty());
    EXPECT_EQ(Dm.GuestZQ.State(), data::DataSetState::Browse);
    Dm.GuestZQ.First(); // a later move must not post the abandoned row
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timerguest"), "0");
}

TEST_F(GuestVisitTest, EndingAVisitWithoutTicketsSkipsThePushAndClosesTheVisit)
{
    const int card = AddCard("G1", 700, "GOST");
    AddPoint("198.18.0.2", 4001, true);
    Db.Exec("INSERT INTO timerguest (firstname, lastname, regcode, startdatetime, employeecardid) VALUES "
            "('Ana','Petrovic','AB1','2026-03-05 08:00:00'," +
            std::to_string(card) + ")");
    OpenLists();
    Select(CardList::Guest, card);
    Mark();

    Actions.StopButtonClick();

    EXPECT_TRUE(Pauses.Pauses.empty());
    EXPECT_EQ(StartingWith(StatementsSinceMark(), "UPDATE"),
              Strings{"UPDATE timerguest SET employeecardid = NULL, enddatetime = '2026-03-05 14:07:09' WHERE "
                      "employeecardid = " +
                      std::to_string(card)});
    EXPECT_EQ(Value("SELECT CONCAT(IFNULL(employeecardid,'-'), ' ', enddatetime) FROM timerguest"),
              "- 2026-03-05 14:07:09");
    EXPECT_EQ(Porter.Messages(), Strings{S(CardRemovedText)});
    Select(CardList::Guest, card);
    EXPECT_EQ(Dm.GuestCardZQename.AsString(), "");
}

TEST_F(GuestVisitTest, EndingOnAFreeCardOnlySaysSo)
{
    const int card = AddCard("G1", 700, "GOST");
    OpenLists();
    Select(CardList::Guest, card);
    Mark();

    Actions.StopButtonClick();

    EXPECT_EQ(Porter.Events(), Strings{"message:" + S(CardNotLentText)});
    EXPECT_TRUE(StatementsSinceMark().empty());
}

class NetGuestVisitTest : public ::testing::Test, public NetDesk
{
protected:
    void SetUp() override { SELVO_REQUIRE_DOOR_HOSTS(Hosts, 1); }
};

TEST_F(NetGuestVisitTest, StartingOnANeverUsedCardGivesItTicketsWithTheVisitsKey)
{
    const int card = AddCard("G1", 700, "GOST");
    Door& first = AddDoor(true);
    Door& notServed = AddDoor(false);
    Door& second = AddDoor(true);
    OpenLists();
    Select(CardList::Guest, card);
    const data::DateTime accepted = TestClock.Now();
    Porter.GuestDialog = RegisterGuest(Dm, TestClock, Ana);
    Mark();

    Actions.StartButtonClick();

    EXPECT_EQ(Porter.Messages(), Strings{S(CardAddedText)});
    const std::string visit = Value("SELECT timerguestid FROM timerguest");
    EXPECT_EQ(Value("SELECT startdatetime FROM timerguest"), accepted.ToString()) << "taken at acceptance";
    const auto tickets = Rows("SELECT timeraccessticketid, timeraccesspointid, employeecardid, employeeid, "
                              "timerguestid, active FROM timeraccessticket ORDER BY timeraccesspointid");
    ASSERT_EQ(tickets.size(), 2U);
    const std::vector<const Door*> served = {&first, &second};
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(tickets[i][1], std::to_string(served[i]->PointId));
        EXPECT_EQ(tickets[i][2], std::to_string(card));
        EXPECT_EQ(tickets[i][3], std::nullopt);
        EXPECT_EQ(tickets[i][4], visit);
        EXPECT_EQ(tickets[i][5], "Y");
        const auto frames = served[i]->Frames(1);
        ASSERT_EQ(frames.size(), 1U);
        EXPECT_EQ(std::to_string(frames[0].Ticket), tickets[i][0]);
        EXPECT_EQ(frames[0].Card, 700U);
        EXPECT_EQ(frames[0].Enable, 1);
    }
    EXPECT_TRUE(notServed.Frames().empty());
    // The visit row is written before any ticket.
    const Strings inserts = StartingWith(StatementsSinceMark(), "INSERT");
    ASSERT_EQ(inserts.size(), 3U);
    EXPECT_EQ(inserts[0].rfind("INSERT INTO timerguest", 0), 0U);
    ExpectCursorAroundTheWork(Porter);
    Select(CardList::Guest, card);
    EXPECT_EQ(Dm.GuestCardZQename.AsString(), "Petrovic Ana");
}

TEST_F(NetGuestVisitTest, StartingOnAUsedCardRepointsItsTicketsToTheNewVisit)
{
    const int card = AddCard("G1", 700, "GOST");
    Door& first = AddDoor(true);
    Door& second = AddDoor(true);
    Db.Exec("INSERT INTO timerguest (firstname, lastname, regcode, startdatetime, enddatetime) VALUES "
            "('Stari','Gost','X1','2026-03-01 08:00:00','2026-03-01 09:00:00')");
    const int oldVisit = std::stoi(Value("SELECT MAX(timerguestid) FROM timerguest"));
    const int ticket1 = AddTicket(first.PointId, card, std::nullopt, oldVisit);
    const int ticket2 = AddTicket(second.PointId, card, std::nullopt, oldVisit);
    OpenLists();
    Select(CardList::Guest, card);
    Porter.GuestDialog = RegisterGuest(Dm, TestClock, Ana);
    Mark();

    Actions.StartButtonClick();

    const Strings statements = StatementsSinceMark();
    const std::string visit = Value("SELECT timerguestid FROM timerguest WHERE lastname = 'Petrovic'");
    EXPECT_EQ(StartingWith(statements, "INSERT INTO timeraccessticket").size(), 0U);
    EXPECT_EQ(StartingWith(statements, "UPDATE timeraccessticket"),
              (Strings{"UPDATE timeraccessticket SET timerguestid=" + visit +
                           " WHERE timeraccessticketid=" + std::to_string(ticket1),
                       "UPDATE timeraccessticket SET timerguestid=" + visit +
                           " WHERE timeraccessticketid=" + std::to_string(ticket2)}));
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket WHERE timerguestid = " + visit), "2");
    for (const auto& [door, ticket] : {std::pair{&first, ticket1}, std::pair{&second, ticket2}}) {
        const auto frames = door->Frames(1);
        ASSERT_EQ(frames.size(), 1U);
        EXPECT_EQ(frames[0].Ticket, static_cast<std::uint32_t>(ticket));
        EXPECT_EQ(frames[0].Enable, 1);
    }
    EXPECT_EQ(Porter.Messages(), Strings{S(CardAddedText)});
}

TEST_F(NetGuestVisitTest, AGuestCardWithAnEmployeeGivesItToItsNewTickets)
{
    const int employee = AddEmployee("Portir", "Desk");
    const int card = AddCard("G1", 700, "GOST", employee);
    AddDoor(true);
    OpenLists();
    Select(CardList::Guest, card);
    Porter.GuestDialog = RegisterGuest(Dm, TestClock, Ana);

    Actions.StartButtonClick();

    EXPECT_EQ(Value("SELECT employeeid FROM timeraccessticket"), std::to_string(employee));
    EXPECT_EQ(Doors[0]->Frames(1).size(), 1U);
}

TEST_F(NetGuestVisitTest, EndingAVisitWithdrawsTheCardThenStampsTheEndAfterThePush)
{
    const int card = AddCard("G1", 700, "GOST");
    Door& first = AddDoor(true);
    Door& second = AddDoor(true);
    OpenLists();
    Select(CardList::Guest, card);
    Porter.GuestDialog = RegisterGuest(Dm, TestClock, Ana);
    Actions.StartButtonClick();
    ASSERT_EQ(Porter.Messages(), Strings{S(CardAddedText)});
    Select(CardList::Guest, card);
    Pauses.Pauses.clear();
    FakeClock pressed = TestClock;
    Mark();

    Actions.StopButtonClick();

    // Two frames and two points: 8 s of pauses lie between the press and the end time.
    ASSERT_EQ(Pauses.Pauses.size(), 4U);
    pressed.Advance(std::chrono::seconds(8));
    const std::string endTime = pressed.Now().ToString();
    EXPECT_EQ(StartingWith(StatementsSinceMark(), "UPDATE"),
              Strings{"UPDATE timerguest SET employeecardid = NULL, enddatetime = '" + endTime +
                      "' WHERE employeecardid = " + std::to_string(card)});
    EXPECT_EQ(Value("SELECT enddatetime FROM timerguest"), endTime);
    EXPECT_EQ(Value("SELECT employeecardid FROM timerguest"), "");
    for (const Door* door : {&first, &second}) {
        const auto frames = door->Frames(2);
        ASSERT_EQ(frames.size(), 2U);
        EXPECT_EQ(frames[1].Enable, 0);
    }
    // The tickets keep the ended visit until the next start.
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket WHERE timerguestid IS NOT NULL"), "2");
    EXPECT_EQ(Porter.Messages().back(), S(CardRemovedText));
    ExpectCursorAroundTheWork(Porter);
    Select(CardList::Guest, card);
    EXPECT_EQ(Dm.GuestCardZQename.AsString(), "");
}

TEST_F(NetGuestVisitTest, AnEndFailingAtTheFirstPointLeavesTheVisitOpen)
{
    const int card = AddCard("G1", 700, "GOST");
    Door& first = AddDoor(true);
    Door& second = AddDoor(true);
    Db.Exec("INSERT INTO timerguest (firstname, lastname, regcode, startdatetime, employeecardid) VALUES "
            "('Ana','Petrovic','AB1','2026-03-05 08:00:00'," +
            std::to_string(card) + ")");
    const int visit = std::stoi(Value("SELECT MAX(timerguestid) FROM timerguest"));
    AddTicket(first.PointId, card, std::nullopt, visit);
    AddTicket(second.PointId, card, std::nullopt, visit);
    OpenLists();
    Select(CardList::Guest, card);
    Mark();
    {
        PortBlocker taken(first.Port);
        Actions.StopButtonClick();
    }

    EXPECT_TRUE(first.Frames().empty());
    EXPECT_TRUE(second.Frames().empty());
    EXPECT_EQ(Porter.Messages(), Strings{S(device::ConnectionErrorText)});
    EXPECT_TRUE(StartingWith(StatementsSinceMark(), "UPDATE").empty());
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timerguest WHERE enddatetime IS NULL AND employeecardid IS NOT NULL"), "1");
    EXPECT_EQ(Porter.CursorDepth(), 0);
    EXPECT_EQ(Porter.Events().back(), "cursor off");
    Select(CardList::Guest, card);
    EXPECT_EQ(Dm.GuestCardZQename.AsString(), "Petrovic Ana");
}

} // namespace
} // namespace selvo::workflows::test
