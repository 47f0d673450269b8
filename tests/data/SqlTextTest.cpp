#include <gtest/gtest.h>

#include "SelectAnalysis.h"
#include "SqlText.h"
#include "TableDescription.h"
#include "ValueText.h"

namespace selvo::data {
namespace {

std::string Process(std::string_view text)
{
    return ProcessQueryText(text, [](std::string_view name) { return "<" + std::string(name) + ">"; });
}

struct ProcessCase
{
    const char* Name;
    const char* Text;
    const char* Sent;
};

void PrintTo(const ProcessCase& testCase, std::ostream* out)
{
    *out << testCase.Name;
}

class QueryTextProcessing : public ::testing::TestWithParam<ProcessCase>
{
};

// A text without placeholders goes as written, line by line, each line ended by CR LF; one with
// placeholders is folded to a single line without comments, so that no colon in a comment or in a
// quoted string is taken for a placeholder and every value goes in as its literal.
TEST_P(QueryTextProcessing, PlainTextGoesLineByLineAndTextWithPlaceholdersIsFolded)
{
    EXPECT_EQ(Process(GetParam().Text), GetParam().Sent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryTextProcessing,
    ::testing::Values(
        // Without a colon: unchanged, each line followed by CR LF (blanks and comments stay).
        ProcessCase{"LinesJoinedWithCrLf", "SELECT * FROM timerguest AS tm \nWHERE tm.timerguestid = -1",
                    "SELECT * FROM timerguest AS tm \r\nWHERE tm.timerguestid = -1\r\n"},
        ProcessCase{"CommentsKeptWithoutColon", "SELECT  1 -- c\r\n", "SELECT  1 -- c\r\n"},
        ProcessCase{"EveryLineBreakBecomesCrLf", "a\rb\n\nc", "a\r\nb\r\n\r\nc\r\n"},
        // With a colon: comments dropped, blanks folded, placeholders replaced, trimmed.
        ProcessCase{"PlaceholderReplacedLinesFolded",
                    "SELECT tat.*\nFROM t AS tat\r\nWHERE tat.employeecardid = :IDEmployeeCard\nORDER BY x",
                    "SELECT tat.* FROM t AS tat WHERE tat.employeecardid = <IDEmployeeCard> ORDER BY x"},
        ProcessCase{"CommentsDroppedBlanksFolded",
                    "  SELECT   a,\t b -- note: here\n FROM t # and: here\n WHERE c=:p /* x: y */ AND d=:q  ",
                    "SELECT a, b FROM t WHERE c=<p> AND d=<q>"},
        // A colon inside quotes is plain text; blanks inside quotes are kept.
        ProcessCase{"ColonInQuotesIsText", "UPDATE t SET d = '2024-03-05  14:07:09', e=\"a :b\" WHERE k=:k",
                    "UPDATE t SET d = '2024-03-05  14:07:09', e=\"a :b\" WHERE k=<k>"},
        ProcessCase{"EscapedQuotesStayInTheString", "SELECT 'it''s :x', 'a\\' :y' FROM t WHERE a=:a",
                    "SELECT 'it''s :x', 'a\\' :y' FROM t WHERE a=<a>"},
        ProcessCase{"ColonInBackquotesIsText", "SELECT `odd:name` FROM t WHERE a = :a",
                    "SELECT `odd:name` FROM t WHERE a = <a>"},
        // A comment between two words keeps them apart.
        ProcessCase{"CommentBetweenWordsIsABlank", "SELECT a/*:x*/FROM t", "SELECT a FROM t"},
        // A colon not followed by a name is no placeholder.
        ProcessCase{"LoneColonIsText", "SELECT 1 : 2", "SELECT 1 : 2"}),
    [](const ::testing::TestParamInfo<ProcessCase>& testCase) { return std::string(testCase.param.Name); });

TEST(QueryText, PlaceholderNamesAreCollectedOnceInOrderIgnoringCase)
{
    EXPECT_EQ(PlaceholderNames("SELECT :b, ':x', :a, :B -- :c\n"), (std::vector<std::string>{"b", "a"}));
}

TEST(Identifiers, AreBareUnlessTheyNeedQuotes)
{
    EXPECT_EQ(QuoteIdentifier("timeraccessticket"), "timeraccessticket");
    EXPECT_EQ(QuoteIdentifier("employeecardts"), "employeecardts");
    EXPECT_EQ(QuoteIdentifier("selvo_t12_3"), "selvo_t12_3");
    EXPECT_EQ(QuoteIdentifier("Order"), "`Order`");
    EXPECT_EQ(QuoteIdentifier("comment"), "comment");
    EXPECT_EQ(QuoteIdentifier("text"), "`text`");
    EXPECT_EQ(QuoteIdentifier("zerofill"), "`zerofill`");
    EXPECT_EQ(QuoteIdentifier("my-table"), "`my-table`");
    EXPECT_EQ(QuoteIdentifier("a`b"), "`a``b`");
    EXPECT_EQ(QuoteIdentifier("\x9a"
                              "ifra"),
              "`\x9a"
              "ifra`");
}

TEST(SelectAnalysisOf, TheSpareCardListNamesStarListAndComputedColumn)
{
    auto analysis = AnalyseSelect("SELECT ec.* , CONCAT(e.lastname,' ',e.firstname) ename FROM employeecard AS ec LEFT "
                                  "JOIN employee AS e ON ec.employeeid = e.employeeid WHERE ec.comment like "
                                  "'%%REZER%%' ORDER BY ec.name");
    ASSERT_EQ(analysis.Items.size(), 2u);
    EXPECT_EQ(analysis.Items[0].ItemKind, SelectItem::Kind::TableStar);
    EXPECT_EQ(analysis.Items[0].Table, "ec");
    EXPECT_EQ(analysis.Items[1].ItemKind, SelectItem::Kind::Expression);
    EXPECT_EQ(analysis.Items[1].Alias, "ename");
    ASSERT_EQ(analysis.Tables.size(), 2u);
    EXPECT_EQ(analysis.Tables[0].Table, "employeecard");
    EXPECT_EQ(analysis.Tables[0].Alias, "ec");
    EXPECT_EQ(analysis.Tables[1].Table, "employee");
    EXPECT_EQ(analysis.Tables[1].Alias, "e");
}

TEST(SelectAnalysisOf, JoinsWithParenthesisedConditionsCommasAndPlainColumns)
{
    auto analysis = AnalyseSelect("SELECT DISTINCT a.x, b.y AS why, z zed, `q`, COUNT(*), * FROM db1.alpha a LEFT JOIN "
                                  "beta AS b ON ((a.k = b.k) AND (b.e IS NULL)), gamma INNER JOIN (SELECT 1) AS d "
                                  "WHERE 1");
    ASSERT_EQ(analysis.Items.size(), 6u);
    EXPECT_EQ(analysis.Items[0].ItemKind, SelectItem::Kind::Column);
    EXPECT_EQ(analysis.Items[0].Table, "a");
    EXPECT_EQ(analysis.Items[0].Column, "x");
    EXPECT_EQ(analysis.Items[1].Alias, "why");
    EXPECT_EQ(analysis.Items[1].Column, "y");
    EXPECT_EQ(analysis.Items[2].ItemKind, SelectItem::Kind::Column);
    EXPECT_EQ(analysis.Items[2].Column, "z");
    EXPECT_EQ(analysis.Items[2].Alias, "zed");
    EXPECT_EQ(analysis.Items[3].Column, "q");
    EXPECT_EQ(analysis.Items[4].ItemKind, SelectItem::Kind::Expression);
    EXPECT_EQ(analysis.Items[5].ItemKind, SelectItem::Kind::AllTables);
    ASSERT_EQ(analysis.Tables.size(), 3u);
    EXPECT_EQ(analysis.Tables[0].Database, "db1");
    EXPECT_EQ(analysis.Tables[0].Table, "alpha");
    EXPECT_EQ(analysis.Tables[0].Alias, "a");
    EXPECT_EQ(analysis.Tables[1].Table, "beta");
    EXPECT_EQ(analysis.Tables[2].Table, "gamma");
    EXPECT_EQ(analysis.Tables[2].Alias, "");
}

TEST(SelectAnalysisOf, AStatementThatIsNoSelectHasNoTables)
{
    EXPECT_TRUE(AnalyseSelect("SHOW TABLES").Tables.empty());
    EXPECT_TRUE(AnalyseSelect("UPDATE t SET a = 1").Items.empty());
}

TEST(ColumnTypes, FollowTheTableDescription)
{
    struct Case
    {
        const char* Type;
        FieldType Expected;
        int Size;
    };
    const Case cases[] = {
        {"enum('Y','N')", FieldType::Boolean, 0},
        {"enum('n','y')", FieldType::Boolean, 0},
        {"ENUM('N','Y')", FieldType::Boolean, 0},
        {"enum('Y','N','X')", FieldType::String, 1},
        {"tinyint(4)", FieldType::LargeInt, 0},
        {"int(11) unsigned", FieldType::LargeInt, 0},
        {"bigint(20)", FieldType::LargeInt, 0},
        {"mediumint(9)", FieldType::LargeInt, 0},
        {"varchar(30)", FieldType::String, 30},
        {"char(2)", FieldType::String, 2},
        {"text", FieldType::Memo, 0},
        {"longblob", FieldType::Blob, 0},
        {"datetime", FieldType::DateTime, 0},
        {"timestamp", FieldType::DateTime, 0},
        {"date", FieldType::Date, 0},
        {"time", FieldType::Time, 0},
        {"double", FieldType::Float, 0},
        {"decimal(10,2)", FieldType::Float, 0},
    };
    for (const auto& c : cases) {
        int size = -1;
        EXPECT_EQ(FieldTypeOfColumnType(c.Type, &size), c.Expected) << c.Type;
        EXPECT_EQ(size, c.Size) << c.Type;
    }
}

TEST(FlagTexts, TrueForYYesTTrueAndNonZeroNumbers)
{
    for (const char* text : {"Y", "y", "yes", "T", "true", "TRUE", "1", "-3"}) {
        EXPECT_TRUE(ValueText::FlagIsTrue(text)) << text;
    }
    for (const char* text : {"N", "n", "no", "F", "false", "0", "", "x"}) {
        EXPECT_FALSE(ValueText::FlagIsTrue(text)) << text;
    }
}

TEST(DateTimes, ParseTheServerFormsAndDropFractions)
{
    EXPECT_EQ(DateTime::Parse("2024-03-05 14:07:09.750"), (DateTime{2024, 3, 5, 14, 7, 9}));
    EXPECT_EQ(DateTime::Parse("2024-03-05"), (DateTime{2024, 3, 5, 0, 0, 0}));
    EXPECT_EQ(DateTime::Parse("14:07:09"), (DateTime{0, 0, 0, 14, 7, 9}));
    EXPECT_TRUE(DateTime::Parse("0000-00-00 00:00:00")->IsZero());
    EXPECT_FALSE(DateTime::Parse("2024-13-05"));
    EXPECT_FALSE(DateTime::Parse("current_timestamp()"));
    EXPECT_EQ((DateTime{2024, 3, 5, 14, 7, 9}).ToString(), "2024-03-05 14:07:09");
}

} // namespace
} // namespace selvo::data
