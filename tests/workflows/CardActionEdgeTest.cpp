// Edge cases of the card actions that a plausible change would break without a word: inactive points
// and tickets, a door whose endpoint cannot be opened in the middle of a lending or a visit start, an
// employee offered again after his card came back, a lending whose confirmation statement is refused.
#include <algorithm>

#include <gtest/gtest.h>

#include "DatabaseError.h"
#include "DeviceTexts.h"
#include "EmployeeSearch.h"
#include "GuestRegistration.h"
#include "WorkflowTestSupport.h"
#include "WorkflowTexts.h"

namespace selvo::workflows::test {
namespace {

using Strings = std::vector<std::string>;

// The last names the employee search offers for an empty search.
Strings Offered(data::TTavrinReserveGuestDM& dm)
{
    EmployeeSearch(dm).FindButtonClick({"", "", "", ""});
    Strings names;
    for (dm.EmployeeZQ.First(); !dm.EmployeeZQ.Eof(); dm.EmployeeZQ.Next()) {
        names.push_back(dm.EmployeeZQlastname.AsString());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Sent(const Strings& statements, std::string_view statement)
{
    return std::find(statements.begin(), statements.end(), std::string(statement)) != statements.end();
}

class CardActionEdgeTest : public ::testing::Test, public Desk
{
};

// Taking the card back frees the employee, so the search offers him again (and not before).
TEST_F(CardActionEdgeTest, AnEmployeeIsOfferedAgainAfterHisSpareCardWasTakenBack)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    AddEmployee("Jovic", "Marko");
    const int card = AddCard("R1", 1234567, "REZERVA");
    const int point = AddPoint("198.18.0.2", 4001, false);
    // A ticket of the card at a point that is not all-access: it follows the card, but is never sent.
    AddTicket(point, card, std::nullopt);
    OpenLists();
    ASSERT_EQ(Offered(Dm), (Strings{"Jovic", "Petrovic"}));

    Select(CardList::Spare, card);
    Porter.EmployeeDialog = ChooseEmployee(Dm, "Pet");
    Actions.ConnectButtonClick();
    ASSERT_EQ(Porter.Messages(), Strings{S(CardAddedText)});
    EXPECT_EQ(Offered(Dm), Strings{"Jovic"});
    EXPECT_EQ(Value("SELECT employeeid FROM timeraccessticket"), std::to_string(employee));

    Select(CardList::Spare, card);
    Actions.RemoveButtonClick();

    EXPECT_EQ(Porter.Messages(), (Strings{S(CardAddedText), S(CardRemovedText)}));
    EXPECT_EQ(Value("SELECT COUNT(*) FROM employeecard WHERE employeeid IS NOT NULL"), "0");
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket WHERE employeeid IS NOT NULL"), "0");
    EXPECT_EQ(Offered(Dm), (Strings{"Jovic", "Petrovic"}));
}

// The card row is posted, then the confirmation's own statement is refused: the dialog reports it and
// stays open; the porter tries once more, then cancels. What was posted stays written, as after any
// failure there, but nothing is left being edited for a later move of the list to write, and the
// lending goes no further: no tickets, no doors, no message.
TEST_F(CardActionEdgeTest, ARefusedConfirmationStatementLeavesNoPendingEdit)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA");
    const int other = AddCard("R2", 1234568, "REZERVA");
    AddPoint("198.18.0.2", 4001, true);
    OpenLists();
    Select(CardList::Spare, card);
    // The post changes the holder and passes; the statement after it writes the same holder again and
    // is refused.
    Db.Exec("CREATE TRIGGER refuse_again BEFORE UPDATE ON employeecard FOR EACH ROW "
            "IF OLD.employeeid <=> NEW.employeeid THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF");
    int refusals = 0;
    Porter.EmployeeDialog = [this, &refusals] {
        EmployeeSearch search(Dm);
        search.FindButtonClick({"Pet", "", "", ""});
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                search.OkButtonClick();
            } catch (const data::DatabaseError& error) {
                EXPECT_EQ(std::string(error.what()), "SQL Error: refused");
                ++refusals;
            }
        }
    };
    Mark();

    Actions.ConnectButtonClick();

    EXPECT_EQ(refusals, 2);
    EXPECT_FALSE(Dm.EmployeeChosen);
    EXPECT_EQ(Dm.SpareCardZQ.State(), data::DataSetState::Browse);
    EXPECT_EQ(Porter.Events(), Strings{"employee dialog"}) << "no hourglass, no push, no message";
    EXPECT_TRUE(StartingWith(StatementsSinceMark(), "INSERT").empty());
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket"), "0");
    EXPECT_EQ(Value("SELECT employeeid FROM employeecard WHERE employeecardid = " + std::to_string(card)),
              std::to_string(employee));

    // Moving about the list writes nothing more.
    Db.Exec("DROP TRIGGER refuse_again");
    Mark();
    Select(CardList::Spare, other);
    Select(CardList::Spare, card);
    Dm.SpareCardZQ.Refresh();
    EXPECT_TRUE(StartingWith(StatementsSinceMark(), "UPDATE").empty());
    EXPECT_EQ(Value("SELECT COUNT(*) FROM employeecard WHERE employeeid IS NOT NULL"), "1");
}

class NetCardActionEdgeTest : public ::testing::Test, public NetDesk
{
protected:
    void SetUp() override { SELVO_REQUIRE_DOOR_HOSTS(Hosts, 1); }

    // A lending or visit start whose push cannot open the endpoint for the second of three doors:
    // the card's rows are written, the first door has the card, the operator is told, no success
    // message, the list is not read again and the hourglass is gone.
    void ExpectStoppedAtTheSecondDoor(std::string_view listSql, const Strings& statements)
    {
        ASSERT_EQ(Doors.size(), 3U);
        const auto frames = Doors[0]->Frames(1);
        ASSERT_EQ(frames.size(), 1U);
        EXPECT_EQ(frames[0].Enable, 1);
        EXPECT_TRUE(Doors[1]->Frames().empty());
        EXPECT_TRUE(Doors[2]->Frames().empty());
        EXPECT_EQ(Porter.Messages(), Strings{S(device::ConnectionErrorText)});
        EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket"), "3") << "every ticket written before the push";
        EXPECT_EQ(StartingWith(statements, "INSERT INTO timeraccessticket").size(), 3U);
        EXPECT_FALSE(Sent(statements, listSql)) << "the list was read again";
        EXPECT_EQ(Porter.CursorDepth(), 0);
        EXPECT_EQ(Porter.Events().back(), "cursor off");
        EXPECT_FALSE(Link.IdUDPServer1().IsOpen());
    }
};

TEST_F(NetCardActionEdgeTest, EndpointFailingToOpenDuringALendingStopsItThere)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA");
    for (int i = 0; i < 3; ++i) {
        AddDoor(true);
    }
    OpenLists();
    Select(CardList::Spare, card);
    Porter.EmployeeDialog = ChooseEmployee(Dm, "Pet");
    Mark();
    {
        PortBlocker taken(Doors[1]->Port);
        Actions.ConnectButtonClick();
    }

    ExpectStoppedAtTheSecondDoor(data::SpareCardListSql, StatementsSinceMark());
    EXPECT_EQ(Value("SELECT employeeid FROM employeecard"), std::to_string(employee));
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket WHERE employeeid = " + std::to_string(employee)), "3");
    // The list still shows the card as free, until it is next read.
    EXPECT_EQ(Dm.SpareCardZQemployeecardid.AsInteger(), card);
    EXPECT_EQ(Dm.SpareCardZQename.AsString(), "");
}

TEST_F(NetCardActionEdgeTest, EndpointFailingToOpenDuringAVisitStartStopsItThere)
{
    const int card = AddCard("G1", 700, "GOST");
    for (int i = 0; i < 3; ++i) {
        AddDoor(true);
    }
    OpenLists();
    Select(CardList::Guest, card);
    Porter.GuestDialog = [this] {
        GuestRegistration(Dm, TestClock).OkButtonClick({"Petrovic", "Ana", "", "AB123", ""});
    };
    Mark();
    {
        PortBlocker taken(Doors[1]->Port);
        Actions.StartButtonClick();
    }

    ExpectStoppedAtTheSecondDoor(data::GuestCardListSql, StatementsSinceMark());
    const std::string visit = Value("SELECT timerguestid FROM timerguest WHERE enddatetime IS NULL AND "
                                    "employeecardid = " +
                                    std::to_string(card));
    ASSERT_FALSE(visit.empty());
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket WHERE timerguestid = " + visit), "3");
    EXPECT_EQ(Dm.GuestCardZQemployeecardid.AsInteger(), card);
    EXPECT_EQ(Dm.GuestCardZQename.AsString(), "");
}

// `active` of a point and of a ticket is never looked at: an all-access point marked inactive is
// still given the card's ticket and written to, and an inactive ticket is still sent.
TEST_F(NetCardActionEdgeTest, InactivePointsAndTicketsAreStillServed)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 1234567, "REZERVA");
    Door& inactive = AddDoor(true);
    Door& active = AddDoor(true);
    Db.Exec("UPDATE timeraccesspoint SET active = 'N' WHERE timeraccesspointid = " + std::to_string(inactive.PointId));
    OpenLists();
    Select(CardList::Spare, card);
    Porter.EmployeeDialog = ChooseEmployee(Dm, "Pet");

    Actions.ConnectButtonClick();

    ASSERT_EQ(Porter.Messages(), Strings{S(CardAddedText)});
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timeraccessticket WHERE timeraccesspointid = " +
                    std::to_string(inactive.PointId) + " AND employeeid = " + std::to_string(employee)),
              "1");
    for (const Door* door : {&inactive, &active}) {
        const auto frames = door->Frames(1);
        ASSERT_EQ(frames.size(), 1U);
        EXPECT_EQ(frames[0].Enable, 1);
    }

    Db.Exec("UPDATE timeraccessticket SET active = 'N'");
    Select(CardList::Spare, card);
    Actions.RemoveButtonClick();

    EXPECT_EQ(Porter.Messages(), (Strings{S(CardAddedText), S(CardRemovedText)}));
    for (const Door* door : {&inactive, &active}) {
        const auto frames = door->Frames(2);
        ASSERT_EQ(frames.size(), 2U);
        EXPECT_EQ(frames[1].Enable, 0);
        EXPECT_EQ(frames[1].Card, 1234567U);
    }
    EXPECT_EQ(Value("SELECT employeeid FROM employeecard"), "");
}

} // namespace
} // namespace selvo::workflows::test
