// The guest registration dialog's logic against the test server: the checks, the written visit row.
#include "GuestRegistration.h"

#include <gtest/gtest.h>

#include "WorkflowTestSupport.h"
#include "WorkflowTexts.h"

namespace selvo::workflows::test {
namespace {

class GuestRegistrationTest : public ::testing::Test, public Desk
{
protected:
    void SetUp() override
    {
        m_card = AddCard("G1", 700, "GOST");
        OpenLists();
        Select(CardList::Guest, m_card);
        Dm.GuestZQ.Open();
        Dm.GuestZQ.Append();
    }

    int m_card = 0;
};

struct CheckCase
{
    const char* Name;
    GuestEntry Entry;
    bool Accepted;
};

const CheckCase CheckCases[] = {
    {"AllFilledIn", {"Petrovic", "Ana", "0101990", "AB123", "opis"}, true},
    {"IdentityCardAloneIsEnough", {"Petrovic", "Ana", "", "AB123", ""}, true},
    {"PersonalNumberAloneIsEnough", {"Petrovic", "Ana", "0101990", "", ""}, true},
    {"BlanksCountAsFilledIn", {" ", " ", " ", "", ""}, true},
    {"NamesOnly", {"Petrovic", "Ana", "", "", "opis"}, false},
    {"NoFirstName", {"Petrovic", "", "0101990", "AB123", ""}, false},
    {"NoLastName", {"", "Ana", "0101990", "AB123", ""}, false},
    {"NothingAtAll", {"", "", "", "", ""}, false},
};

void PrintTo(const CheckCase& check, std::ostream* out)
{
    *out << check.Name;
}

class GuestCheckTest : public GuestRegistrationTest, public ::testing::WithParamInterface<CheckCase>
{
};

TEST_P(GuestCheckTest, WritesTheVisitOnlyWithBothNamesAndOneOfTheNumbers)
{
    GuestRegistration registration(Dm, TestClock);
    const GuestAcceptance result = registration.OkButtonClick(GetParam().Entry);

    EXPECT_EQ(result == GuestAcceptance::Accepted, GetParam().Accepted);
    EXPECT_EQ(Dm.GuestAccepted, GetParam().Accepted);
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timerguest"), GetParam().Accepted ? "1" : "0");
    if (!GetParam().Accepted) {
        // Still open with everything typed so far: the row is still being inserted.
        EXPECT_EQ(Dm.GuestZQ.State(), data::DataSetState::Insert);
    }
}

INSTANTIATE_TEST_SUITE_P(Checks, GuestCheckTest, ::testing::ValuesIn(CheckCases),
                         [](const auto& testCase) { return std::string(testCase.param.Name); });

TEST_F(GuestRegistrationTest, AcceptingWritesTheRowBoundToTheCardWithTheStartTimeOfAcceptance)
{
    GuestRegistration registration(Dm, TestClock);
    TestClock.Advance(std::chrono::seconds(75)); // the operator types for a while
    const data::DateTime accepted = TestClock.Now();
    ASSERT_EQ(registration.OkButtonClick({"O'Brien", "Ana", "", "AB123", "Sastanak\r\nsala 2"}),
              GuestAcceptance::Accepted);

    const auto rows = Rows("SELECT timerguestid, lastname, firstname, personalidentificator, regcode, startdatetime, "
                           "enddatetime, description, employeecardid FROM timerguest");
    ASSERT_EQ(rows.size(), 1U);
    const selvo::test::Row& row = rows[0];
    EXPECT_EQ(row[1], "O'Brien");
    EXPECT_EQ(row[2], "Ana");
    EXPECT_EQ(row[3], std::nullopt) << "written without a personal identification number";
    EXPECT_EQ(row[4], "AB123");
    EXPECT_EQ(row[5], accepted.ToString());
    EXPECT_EQ(row[6], std::nullopt);
    EXPECT_EQ(row[7], "Sastanak\r\nsala 2");
    EXPECT_EQ(row[8], std::to_string(m_card));
    // The new key is read back for the tickets.
    EXPECT_EQ(std::to_string(Dm.GuestZQtimerguestid.AsInteger()), row[0].value_or(""));
    EXPECT_EQ(Dm.GuestZQ.State(), data::DataSetState::Browse);
}

TEST_F(GuestRegistrationTest, TextsLongerThanTheirColumnsAreCut)
{
    GuestRegistration registration(Dm, TestClock);
    const std::string firstName(25, 'F');
    const std::string description(300, 'd');
    ASSERT_EQ(registration.OkButtonClick({std::string(35, 'L'), firstName, "", "R", description}),
              GuestAcceptance::Accepted);

    EXPECT_EQ(Value("SELECT firstname FROM timerguest"), std::string(20, 'F'));
    EXPECT_EQ(Value("SELECT lastname FROM timerguest"), std::string(30, 'L'));
    EXPECT_EQ(Value("SELECT description FROM timerguest"), std::string(255, 'd'));
}

TEST_F(GuestRegistrationTest, CancellingDiscardsTheRow)
{
    GuestRegistration registration(Dm, TestClock);
    Dm.GuestZQfirstname.SetAsString("Ana");
    Mark();
    registration.CancelButtonClick();

    EXPECT_EQ(Dm.GuestZQ.State(), data::DataSetState::Browse);
    EXPECT_TRUE(Dm.GuestZQ.IsEmpty());
    EXPECT_FALSE(Dm.GuestAccepted);
    EXPECT_TRUE(StatementsSinceMark().empty());
}

TEST_F(GuestRegistrationTest, ARefusedPostLeavesTheRowToBeCorrectedAndAcceptedAgain)
{
    Db.Exec("ALTER TABLE timerguest MODIFY regcode VARCHAR(20) NOT NULL");
    GuestRegistration registration(Dm, TestClock);
    EXPECT_THROW(registration.OkButtonClick({"Petrovic", "Ana", "0101990", "", ""}), data::DatabaseError);
    EXPECT_FALSE(Dm.GuestAccepted);
    EXPECT_EQ(Dm.GuestZQ.State(), data::DataSetState::Insert);

    EXPECT_EQ(registration.OkButtonClick({"Petrovic", "Ana", "0101990", "AB1", ""}), GuestAcceptance::Accepted);
    EXPECT_EQ(Value("SELECT COUNT(*) FROM timerguest"), "1");
}

} // namespace
} // namespace selvo::workflows::test
