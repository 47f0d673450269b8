// The employee search dialog's logic against the test server: the statement, what it finds, confirming.
#include "EmployeeSearch.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "WorkflowTestSupport.h"

namespace selvo::workflows::test {
namespace {

using ::testing::TestWithParam;
using ::testing::ValuesIn;

constexpr const char* SearchHead =
    "SELECT e.* FROM employee AS e LEFT JOIN employeecard AS ec ON ec.employeeid = e.employeeid WHERE (e.active != "
    "'n') AND (ec.employeecardid IS NULL)";
constexpr const char* SearchTail = " ORDER BY e.firstname ASC";

SearchValues Values(std::string lastName, std::string firstName = {}, std::string code = {}, std::string jmbg = {})
{
    return {std::move(lastName), std::move(firstName), std::move(code), std::move(jmbg)};
}

// The last names the open EmployeeZQ lists, in its order.
std::vector<std::string> Found(data::TTavrinReserveGuestDM& dm)
{
    std::vector<std::string> names;
    for (dm.EmployeeZQ.First(); !dm.EmployeeZQ.Eof(); dm.EmployeeZQ.Next()) {
        names.push_back(dm.EmployeeZQlastname.AsString());
    }
    return names;
}

class EmployeeSearchTest : public ::testing::Test, public Desk
{
};

TEST_F(EmployeeSearchTest, AllValuesEmptyListsActiveEmployeesWithoutAnyCardByFirstName)
{
    AddEmployee("Zec", "Vera");
    AddEmployee("Nikolic", "Ana", "Y");
    AddEmployee("Neaktivan", "Boris", "N");
    AddEmployee("Bezoznake", "Cedomir", nullptr);
    const int withOwnCard = AddEmployee("Imakarticu", "Dejan");
    AddCard("K1", 100, "RADNIK", withOwnCard);
    const int withSpareCard = AddEmployee("Pozajmio", "Goran");
    AddCard("R1", 101, "REZERVA", withSpareCard);

    EmployeeSearch search(Dm);
    Mark();
    search.FindButtonClick(Values(""));

    EXPECT_EQ(Found(Dm), (std::vector<std::string>{"Nikolic", "Zec"}));
    EXPECT_EQ(StartingWith(StatementsSinceMark(), "SELECT e.*"),
              std::vector<std::string>{std::string(SearchHead) + SearchTail});
}

TEST_F(EmployeeSearchTest, CriteriaFollowFirstNameLastNameCodePersonalNumberWhateverTheEditorOrder)
{
    EXPECT_EQ(BuildSearchSql(Dm.ZConnection, Values("Pe", "Ana", "K7", "0101")),
              std::string(SearchHead) +
                  " AND e.firstname LIKE 'Ana%' AND e.lastname LIKE'Pe%' AND e.code LIKE'K7%' AND "
                  "e.personalidentificator LIKE'0101%'" +
                  SearchTail);
    EXPECT_EQ(BuildSearchSql(Dm.ZConnection, Values("", "Ana", "", "0101")),
              std::string(SearchHead) + " AND e.firstname LIKE 'Ana%' AND e.personalidentificator LIKE'0101%'" +
                  SearchTail);
    // Not trimmed: the blank is part of what the column begins with.
    EXPECT_EQ(BuildSearchSql(Dm.ZConnection, Values(" Pe")),
              std::string(SearchHead) + " AND e.lastname LIKE' Pe%'" + SearchTail);
}

TEST_F(EmployeeSearchTest, EachValueNarrowsToRowsWhoseColumnBeginsWithIt)
{
    AddEmployee("Petrovic", "Ana", "Y", "K100", "0101990");
    AddEmployee("Peric", "Marko", "Y", "K200", "0202990");
    AddEmployee("Jovic", "Anastasija", "Y", "K101", "0101991");

    EmployeeSearch search(Dm);
    search.FindButtonClick(Values("Pe"));
    EXPECT_EQ(Found(Dm), (std::vector<std::string>{"Petrovic", "Peric"}));
    search.FindButtonClick(Values("", "Ana"));
    EXPECT_EQ(Found(Dm), (std::vector<std::string>{"Petrovic", "Jovic"}));
    search.FindButtonClick(Values("", "", "K10"));
    EXPECT_EQ(Found(Dm), (std::vector<std::string>{"Petrovic", "Jovic"}));
    search.FindButtonClick(Values("", "Ana", "", "0101991"));
    EXPECT_EQ(Found(Dm), (std::vector<std::string>{"Jovic"}));
    search.FindButtonClick(Values("ovic"));
    EXPECT_TRUE(Found(Dm).empty());
}

// Values with quotes and backslashes: each finds only the names its text means (the operator's % and _
// still act as wildcards), and none breaks the statement or leaves its literal.
struct PayloadCase
{
    const char* Name;
    const char* LastName;
    std::vector<std::string> Expected;
};

const PayloadCase PayloadCases[] = {
    {"Apostrophe", "O'Neil", {"O'Neil"}},
    {"QuoteOrTrue", "x' OR 'a'='a", {}},
    {"BackslashQuoteComment", "\\' OR 1=1 -- ", {"\\' OR 1=1 -- Z"}},
    {"BackslashBeforeLetter", "\\O", {}},
    {"TrailingBackslash", "Back\\", {"Back\\slash"}},
    {"BackslashIsNoEscape", "Back\\s", {"Back\\slash"}},
    {"QuoteAndColon", "O':x", {}},
    {"PercentIsWildcard", "%son", {"Jefferson"}},
    {"UnderscoreIsWildcard", "_'N", {"O'Neil"}},
    {"DoubledQuote", "O''Neil", {}},
};

void PrintTo(const PayloadCase& payload, std::ostream* out)
{
    *out << payload.Name;
}

class EmployeeSearchPayloadTest : public TestWithParam<PayloadCase>, public Desk
{
};

TEST_P(EmployeeSearchPayloadTest, FindsOnlyWhatItsTextMeans)
{
    for (const char* name : {"O'Neil", "Jefferson", "Backslash", "Back\\slash", "\\' OR 1=1 -- Z", "Nobody"}) {
        AddEmployee(name, "Ime");
    }
    EmployeeSearch search(Dm);
    search.FindButtonClick(Values(GetParam().LastName));
    std::vector<std::string> found = Found(Dm);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, GetParam().Expected);
    EXPECT_EQ(Value("SELECT COUNT(*) FROM employee"), "6");
}

INSTANTIATE_TEST_SUITE_P(Payloads, EmployeeSearchPayloadTest, ValuesIn(PayloadCases),
                         [](const auto& testCase) { return std::string(testCase.param.Name); });

TEST_F(EmployeeSearchTest, TheLiteralIsMadeByTheClientLibrarysEscaping)
{
    EXPECT_EQ(BuildSearchSql(Dm.ZConnection, Values("O'Neil")),
              std::string(SearchHead) + " AND e.lastname LIKE'O\\'Neil%'" + SearchTail);
    // A backslash is doubled for LIKE first, then escaped for the literal.
    EXPECT_EQ(BuildSearchSql(Dm.ZConnection, Values("a\\")),
              std::string(SearchHead) + " AND e.lastname LIKE'a\\\\\\\\%'" + SearchTail);

    // And the server receives it so (a colon in the value makes the query tokenise its text).
    EmployeeSearch search(Dm);
    Mark();
    search.FindButtonClick(Values("O':x\\"));
    EXPECT_EQ(StartingWith(StatementsSinceMark(), "SELECT e.*"),
              std::vector<std::string>{std::string(SearchHead) + " AND e.lastname LIKE'O\\':x\\\\\\\\%'" + SearchTail});
}

TEST_F(EmployeeSearchTest, ConfirmingBindsTheEmployeeToTheCardSelectedWhenTheDialogOpened)
{
    const int employee = AddEmployee("Petrovic", "Ana");
    AddCard("R1", 500, "REZERVA");
    const int card = AddCard("R2", 501, "REZERVA");
    OpenLists();
    Select(CardList::Spare, card);

    EmployeeSearch search(Dm);
    EXPECT_EQ(ChosenCardId(), card);
    search.FindButtonClick(Values("Pet"));
    Mark();
    EXPECT_TRUE(search.OkButtonClick());

    EXPECT_TRUE(Dm.EmployeeChosen);
    const std::string key = std::to_string(card);
    const std::string who = std::to_string(employee);
    EXPECT_EQ(StartingWith(StatementsSinceMark(), "UPDATE"),
              (std::vector<std::string>{
                  "UPDATE employeecard SET employeeid=" + who + " WHERE employeecardid=" + key,
                  "UPDATE employeecard SET employeeid = " + who + " WHERE employeecardid = " + key,
              }));
    EXPECT_EQ(Value("SELECT employeeid FROM employeecard WHERE employeecardid = " + key), who);
    EXPECT_EQ(Value("SELECT COUNT(*) FROM employeecard WHERE employeeid IS NOT NULL"), "1");
    EXPECT_EQ(Dm.SpareCardZQ.State(), data::DataSetState::Browse);
}

TEST_F(EmployeeSearchTest, ConfirmingWithoutAnEmployeeRowDoesNothing)
{
    AddEmployee("Petrovic", "Ana");
    const int card = AddCard("R1", 500, "REZERVA");
    OpenLists();
    Select(CardList::Spare, card);

    EmployeeSearch search(Dm);
    Mark();
    EXPECT_FALSE(search.OkButtonClick()) << "before any search";
    search.FindButtonClick(Values("Nobody"));
    EXPECT_FALSE(search.OkButtonClick()) << "after a search that found nobody";

    EXPECT_FALSE(Dm.EmployeeChosen);
    EXPECT_EQ(StartingWith(StatementsSinceMark(), "UPDATE").size(), 0U);
    EXPECT_EQ(Value("SELECT COUNT(*) FROM employeecard WHERE employeeid IS NOT NULL"), "0");
}

TEST_F(EmployeeSearchTest, ARefusedSearchFailsAndLeavesTheListClosed)
{
    AddEmployee("Petrovic", "Ana");
    EmployeeSearch search(Dm);
    search.FindButtonClick(Values(""));
    ASSERT_TRUE(Dm.EmployeeZQ.Active());
    Db.Exec("DROP TABLE employeecard");

    EXPECT_THROW(search.FindButtonClick(Values("Pe")), data::DatabaseError);
    EXPECT_FALSE(Dm.EmployeeZQ.Active());
    EXPECT_EQ(Dm.EmployeeZQemployeeid.AsInteger(), 0);
}

TEST_F(EmployeeSearchTest, TheSearchResultOutlivesTheDialog)
{
    AddEmployee("Petrovic", "Ana");
    AddCard("R1", 500, "REZERVA");
    OpenLists();
    {
        EmployeeSearch first(Dm);
        first.FindButtonClick(Values("Pe"));
    }
    EmployeeSearch next(Dm);
    EXPECT_EQ(Found(Dm), std::vector<std::string>{"Petrovic"});
}

} // namespace
} // namespace selvo::workflows::test
