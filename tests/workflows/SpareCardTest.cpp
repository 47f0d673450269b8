// Lending and return of a spare card, end to end: the data module on the test server, the device link
// on real sockets, simulated doors in the door hosts, a scripted porter.
#include <gtest/gtest.h>

#include "DeviceError.h"
#include "DeviceTexts.h"
#include "EmployeeSearch.h"
#include "WorkflowTestSupport.h"
#include "WorkflowTexts.h"

namespace selvo::workflows::test {
namespace {

using Strings = std::vector<std::string>;

std::string TicketInsert(int pointId, int cardId, int employeeId)
{
    return "INSERT INTO timeraccessticket (timeraccessticketid,timeraccesspointid,employeecardid,employeeid,"
           "timerguestid,active,comment) VALUES (NULL," +
           std::to_string(pointId) + "," + std::to_string(cardId) + "," + std::to_string(employeeId) +
           ",NULL,'Y',NULL)";
}

class SpareCardTest : public ::testing::Test, public Desk
{
};

TEST_F(SpareCardTest, LendingWithoutAllAccessPointsMakesNoTicketsAndStillSucceeds)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA");
    AddPoint("198.18.0.2", 4001, false);
    OpenLists();
    Select(CardList::Spare, card);
    Porter.EmployeeDialog = ChooseEmployee(Dm, "Pet");

    Actions.ConnectButtonClick();

    EXPECT_EQ(Porter.Messages(), Strings{S(CardAddedText)});
    EXPECT_TRUE(Pauses.Pauses.empty()) << "no point served";
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket"), "0");
    EXPECT_EQ(Value("SELECT employeeid FROM employeecard"), std::to_string(employee));
    ExpectCursorAroundTheWork(Porter);
}

TEST_F(SpareCardTest, LendingALentCardOnlySaysSo)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA", employee);
    OpenLists();
    Select(CardList::Spare, card);
    Mark();

    Actions.ConnectButtonClick();

    EXPECT_EQ(Porter.Events(), Strings{"message:" + S(CardAlreadyLentText)});
    EXPECT_TRUE(StatementsSinceMark().empty());
}

TEST_F(SpareCardTest, CancellingTheEmployeeDialogWritesNothing)
{
    AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA");
    AddPoint("198.18.0.2", 4001, true);
    OpenLists();
    Select(CardList::Spare, card);
    // The porter searches, then cancels.
    Porter.EmployeeDialog = [this] { EmployeeSearch(Dm).FindButtonClick({"Pet", "", "", ""}); };
    Mark();

    Actions.ConnectButtonClick();

    EXPECT_EQ(Porter.Events(), Strings{"employee dialog"}) << "no message, the cursor never changed";
    for (const std::string& statement : StatementsSinceMark()) {
        EXPECT_EQ(statement.rfind("SELECT", 0), 0U) << statement;
    }
    EXPECT_EQ(Value("SELECT COUNT(*) FROM employeecard WHERE employeeid IS NOT NULL"), "0");
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket"), "0");
}

// The card row's post is refused, the porter cancels: the employee set in the row must not be written
// by a later move of the list (which would lend the card without tickets or doors).
TEST_F(SpareCardTest, ARefusedBindingThenCancelLeavesNothingToBeWrittenLater)
{
    AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA");
    AddCard("R2", 1234568, "REZERVA");
    OpenLists();
    Select(CardList::Spare, card);
    Db.Exec("CREATE TRIGGER refuse BEFORE UPDATE ON employeecard FOR EACH ROW "
            "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'");
    bool refused = false;
    Porter.EmployeeDialog = [this, &refused] {
        EmployeeSearch search(Dm);
        search.FindButtonClick({"Pet", "", "", ""});
        try {
            search.OkButtonClick();
        } catch (const data::DatabaseError&) {
            refused = true; // the dialog reports it and stays open; the porter then cancels
        }
    };

    Actions.ConnectButtonClick();
    Db.Exec("DROP TRIGGER refuse");
    Dm.SpareCardZQ.Next();
    Dm.SpareCardZQ.First();
    Dm.SpareCardZQ.Refresh();

    EXPECT_TRUE(refused);
    EXPECT_EQ(Dm.SpareCardZQ.State(), data::DataSetState::Browse);
    EXPECT_EQ(Value("SELECT COUNT(*) FROM employeecard WHERE employeeid IS NOT NULL"), "0");
    EXPECT_TRUE(Porter.Messages().empty());
}

TEST_F(SpareCardTest, ReturningACardWithoutTicketsSkipsThePush)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA", employee);
    AddPoint("198.18.0.2", 4001, true);
    OpenLists();
    Select(CardList::Spare, card);
    Mark();

    Actions.RemoveButtonClick();

    EXPECT_TRUE(Pauses.Pauses.empty());
    const std::string key = std::to_string(card);
    EXPECT_EQ(StartingWith(StatementsSinceMark(), "UPDATE"),
              (Strings{"UPDATE employeecard SET employeeid = NULL WHERE employeecardid = " + key,
                       "UPDATE timeraccessticket SET employeeid = NULL WHERE employeecardid = " + key}));
    EXPECT_EQ(Value("SELECT employeeid FROM employeecard"), "");
    EXPECT_EQ(Porter.Messages(), Strings{S(CardRemovedText)});
    Select(CardList::Spare, card);
    EXPECT_EQ(Dm.SpareCardZQename.AsString(), "");
    ExpectCursorAroundTheWork(Porter);
}

TEST_F(SpareCardTest, ReturningAFreeCardOnlySaysSo)
{
    const int card = AddCard("R1", 1234567, "REZERVA");
    OpenLists();
    Select(CardList::Spare, card);
    Mark();

    Actions.RemoveButtonClick();

    EXPECT_EQ(Porter.Events(), Strings{"message:" + S(CardNotLentText)});
    EXPECT_TRUE(StatementsSinceMark().empty());
}

TEST_F(SpareCardTest, WithoutASelectedCardNoActionDoesAnything)
{
    AddPoint("198.18.0.2", 4001, true);
    Porter.EmployeeDialog = [] { ADD_FAILURE() << "dialog opened"; };
    Porter.GuestDialog = [] { ADD_FAILURE() << "dialog opened"; };
    const auto runAll = [this] {
        Actions.ConnectButtonClick();
        Actions.RemoveButtonClick();
        Actions.StartButtonClick();
        Actions.StopButtonClick();
    };

    Mark();
    runAll(); // the lists were never opened (no connection at start-up)
    EXPECT_TRUE(Porter.Events().empty());
    EXPECT_TRUE(StatementsSinceMark().empty());

    OpenLists();
    ASSERT_TRUE(Dm.SpareCardZQ.IsEmpty());
    Mark();
    runAll(); // open, but empty

    EXPECT_TRUE(Porter.Events().empty());
    EXPECT_TRUE(StatementsSinceMark().empty());
}

TEST_F(SpareCardTest, ADatabaseErrorEndsTheLendingWithTheCursorRestored)
{
    AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA");
    AddPoint("198.18.0.2", 4001, true);
    OpenLists();
    Select(CardList::Spare, card);
    Porter.EmployeeDialog = ChooseEmployee(Dm, "Pet");
    Db.Exec("DROP TABLE timeraccessticket");

    EXPECT_THROW(Actions.ConnectButtonClick(), data::DatabaseError);

    EXPECT_EQ(Porter.CursorDepth(), 0);
    EXPECT_EQ(Porter.Events().back(), "cursor off");
    EXPECT_TRUE(Porter.Messages().empty());
}

// A point without an address: the send fails before anything leaves the host.
TEST_F(SpareCardTest, ADeviceErrorEndsTheLendingWithTheCursorRestored)
{
    AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA");
    AddPoint("", device::test::FreeUdpPort(), true);
    OpenLists();
    Select(CardList::Spare, card);
    Porter.EmployeeDialog = ChooseEmployee(Dm, "Pet");

    EXPECT_THROW(Actions.ConnectButtonClick(), device::DeviceError);

    EXPECT_EQ(Porter.CursorDepth(), 0);
    EXPECT_EQ(Porter.Events().back(), "cursor off");
    EXPECT_TRUE(Porter.Messages().empty());
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket"), "1") << "what was written stays written";
    EXPECT_FALSE(Link.IdUDPServer1().IsOpen());
}

class NetSpareCardTest : public ::testing::Test, public NetDesk
{
protected:
    void SetUp() override { SELVO_REQUIRE_DOOR_HOSTS(Hosts, 1); }
};

TEST_F(NetSpareCardTest, LendingANeverLentCardGivesItTicketsAtTheAllAccessPointsAndWritesThem)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    AddEmployee("Jovic", "Marko");
    const int card = AddCard("R1", 1234567, "REZERVA");
    Door& first = AddDoor(true);
    Door& second = AddDoor(false);
    Door& third = AddDoor(true);
    OpenLists();
    Select(CardList::Spare, card);
    Porter.EmployeeDialog = ChooseEmployee(Dm, "Pet");
    Mark();

    Actions.ConnectButtonClick();

    EXPECT_EQ(Porter.Messages(), Strings{S(CardAddedText)});
    EXPECT_EQ(StartingWith(StatementsSinceMark(), "INSERT"),
              (Strings{TicketInsert(first.PointId, card, employee), TicketInsert(third.PointId, card, employee)}));
    const auto tickets = Rows("SELECT timeraccessticketid, timeraccesspointid, employeecardid, employeeid, "
                              "timerguestid, active FROM timeraccessticket ORDER BY timeraccesspointid");
    ASSERT_EQ(tickets.size(), 2U);
    const std::vector<const Door*> served = {&first, &third};
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(tickets[i][1], std::to_string(served[i]->PointId));
        EXPECT_EQ(tickets[i][2], std::to_string(card));
        EXPECT_EQ(tickets[i][3], std::to_string(employee));
        EXPECT_EQ(tickets[i][4], std::nullopt);
        EXPECT_EQ(tickets[i][5], "Y");
        const auto frames = served[i]->Frames(1);
        ASSERT_EQ(frames.size(), 1U) << "point " << i;
        EXPECT_EQ(frames[0].Command, "SE");
        EXPECT_TRUE(frames[0].CrcOk);
        EXPECT_EQ(std::to_string(frames[0].Ticket), tickets[i][0]);
        EXPECT_EQ(frames[0].Card, 1234567U);
        EXPECT_EQ(frames[0].Enable, 1);
        EXPECT_EQ(frames[0].FromPort, served[i]->Port);
    }
    EXPECT_TRUE(second.Frames().empty());
    // Two frames and two points, each followed by the fixed pause.
    EXPECT_EQ(Pauses.Pauses.size(), 4U);
    ExpectCursorAroundTheWork(Porter);
    EXPECT_TRUE(ReplyBox.Texts().empty());
    Select(CardList::Spare, card);
    EXPECT_EQ(Dm.SpareCardZQename.AsString(), "Petrovic Ana");
}

TEST_F(NetSpareCardTest, LendingAReturnedCardRepointsItsTicketsAndSendsOnlyAllAccessOnes)
{
    AddEmployee("Petrovic", "Ana");
    const int second = AddEmployee("Jovic", "Marko");
    const int card = AddCard("R1", 1234567, "REZERVA");
    Door& doorA = AddDoor(true);
    Door& doorB = AddDoor(true);
    Door& doorC = AddDoor(true);
    OpenLists();
    Select(CardList::Spare, card);
    Porter.EmployeeDialog = ChooseEmployee(Dm, "Pet");
    Actions.ConnectButtonClick();
    Select(CardList::Spare, card);
    Actions.RemoveButtonClick();
    ASSERT_EQ(Porter.Messages(), (Strings{S(CardAddedText), S(CardRemovedText)}));
    ASSERT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket WHERE employeeid IS NULL"), "3");
    ASSERT_EQ(doorB.Frames(2).size(), 2U);
    Db.Exec("UPDATE timeraccesspoint SET allaccess = 'N' WHERE timeraccesspointid = " + std::to_string(doorB.PointId));

    Select(CardList::Spare, card);
    Porter.EmployeeDialog = ChooseEmployee(Dm, "Jov");
    Mark();
    Actions.ConnectButtonClick();

    const Strings statements = StatementsSinceMark();
    EXPECT_TRUE(StartingWith(statements, "INSERT").empty());
    const auto tickets = Rows("SELECT timeraccessticketid, employeeid, active FROM timeraccessticket "
                              "ORDER BY timeraccesspointid");
    ASSERT_EQ(tickets.size(), 3U);
    Strings expectedUpdates;
    for (const auto& ticket : tickets) {
        EXPECT_EQ(ticket[1], std::to_string(second));
        EXPECT_EQ(ticket[2], "Y");
        expectedUpdates.push_back("UPDATE timeraccessticket SET employeeid=" + std::to_string(second) +
                                  " WHERE timeraccessticketid=" + ticket[0].value_or(""));
    }
    EXPECT_EQ(StartingWith(statements, "UPDATE timeraccessticket"), expectedUpdates);
    // Lent, returned, lent again at A and C; B, no longer all-access, kept its two frames.
    const auto framesA = doorA.Frames(3);
    ASSERT_EQ(framesA.size(), 3U);
    EXPECT_EQ(framesA[2].Enable, 1);
    EXPECT_EQ(std::to_string(framesA[2].Ticket), tickets[0][0]);
    EXPECT_EQ(doorC.Frames(3).size(), 3U);
    EXPECT_EQ(doorB.Frames().size(), 2U);
    EXPECT_EQ(Porter.Messages().back(), S(CardAddedText));
    Select(CardList::Spare, card);
    EXPECT_EQ(Dm.SpareCardZQename.AsString(), "Jovic Marko");
}

TEST_F(NetSpareCardTest, ReturningWithdrawsTheCardFromThePointsThenUnbindsIt)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 3000000000, "REZERVA", employee);
    Door& first = AddDoor(true);
    Door& second = AddDoor(true);
    const int ticket1 = AddTicket(first.PointId, card, employee);
    const int ticket2 = AddTicket(second.PointId, card, employee);
    OpenLists();
    Select(CardList::Spare, card);
    Mark();

    Actions.RemoveButtonClick();

    const std::vector<std::pair<const Door*, int>> expected = {{&first, ticket1}, {&second, ticket2}};
    for (const auto& [door, ticket] : expected) {
        const auto frames = door->Frames(1);
        ASSERT_EQ(frames.size(), 1U);
        EXPECT_EQ(frames[0].Enable, 0);
        EXPECT_EQ(frames[0].Ticket, static_cast<std::uint32_t>(ticket));
        EXPECT_EQ(frames[0].Card, 3000000000U);
    }
    const std::string key = std::to_string(card);
    EXPECT_EQ(StartingWith(StatementsSinceMark(), "UPDATE"),
              (Strings{"UPDATE employeecard SET employeeid = NULL WHERE employeecardid = " + key,
                       "UPDATE timeraccessticket SET employeeid = NULL WHERE employeecardid = " + key}));
    EXPECT_EQ(Value("SELECT employeeid FROM employeecard"), "");
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket WHERE employeeid IS NULL AND active = 'Y'"), "2");
    EXPECT_EQ(Porter.Messages(), Strings{S(CardRemovedText)});
    ExpectCursorAroundTheWork(Porter);
}

TEST_F(NetSpareCardTest, AReturnFailingAtTheSecondPointLeavesTheCardLent)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA", employee);
    Door& first = AddDoor(true);
    Door& second = AddDoor(true);
    Door& third = AddDoor(true);
    for (const Door* door : {&first, &second, &third}) {
        AddTicket(door->PointId, card, employee);
    }
    OpenLists();
    Select(CardList::Spare, card);
    Mark();
    {
        PortBlocker taken(second.Port);
        Actions.RemoveButtonClick();
    }

    const auto frames = first.Frames(1);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0].Enable, 0);
    EXPECT_TRUE(second.Frames().empty());
    EXPECT_TRUE(third.Frames().empty());
    EXPECT_EQ(Porter.Messages(), Strings{S(device::ConnectionErrorText)});
    EXPECT_TRUE(StartingWith(StatementsSinceMark(), "UPDATE").empty());
    EXPECT_EQ(Value("SELECT employeeid FROM employeecard"), std::to_string(employee));
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket WHERE employeeid = " + std::to_string(employee)), "3");
    EXPECT_EQ(Porter.CursorDepth(), 0);
    EXPECT_EQ(Porter.Events().back(), "cursor off");
    Select(CardList::Spare, card);
    EXPECT_EQ(Dm.SpareCardZQename.AsString(), "Petrovic Ana");
}

} // namespace
} // namespace selvo::workflows::test
