#include <algorithm>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DataModuleFixture.h"

namespace selvo::data::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class RowPostingTest : public DataModuleFixture
{
protected:
    void OpenSpareListAtCard5()
    {
        OpenSpareList();
        ASSERT_EQ(Dm.SpareCardZQemployeecardid.AsInteger(), 5);
    }

    void OpenTicketsOf(int card)
    {
        Dm.TimerAccessTicketZQ.Close();
        Dm.TimerAccessTicketZQ.ParamByName("IDEmployeeCard").SetAsInteger(card);
        Dm.TimerAccessTicketZQ.Open();
    }

    // Appends and posts one ticket as the lending action does.
    void AppendTicket(int point, int card, int employee)
    {
        Dm.TimerAccessTicketZQ.Append();
        Dm.TimerAccessTicketZQtimeraccesspointid.SetAsInteger(point);
        Dm.TimerAccessTicketZQemployeecardid.SetAsInteger(card);
        Dm.TimerAccessTicketZQactive.SetAsBoolean(true);
        if (employee > 0) {
            Dm.TimerAccessTicketZQemployeeid.SetAsInteger(employee);
        }
        Dm.TimerAccessTicketZQ.Post();
    }
};

TEST_F(RowPostingTest, LendingTheCardUpdatesOnlyItsEmployeeByKey)
{
    SeedCards();
    OpenSpareListAtCard5();
    SkipSent();
    Dm.SpareCardZQ.Edit();
    Dm.SpareCardZQemployeeid.SetAsInteger(12);
    Dm.SpareCardZQ.Post();
    EXPECT_THAT(Sent(), ElementsAre("UPDATE employeecard SET employeeid=12 WHERE employeecardid=5"));
    EXPECT_EQ(Dm.SpareCardZQ.State(), DataSetState::Browse);
    EXPECT_EQ(Dm.SpareCardZQemployeeid.AsInteger(), 12);
    EXPECT_EQ(Dm.SpareCardZQ.RecNo(), 0);
    EXPECT_EQ(Db.Scalar("SELECT employeeid FROM employeecard WHERE employeecardid = 5"), "12");
}

// The lending of card 5 to employee 12, as the dialog and the action post it, end to end.
TEST_F(RowPostingTest, LendingSendsTheCardUpdateThenEachTicketInsertWithItsKeyReadBackInOrder)
{
    SeedCards();
    OpenSpareListAtCard5();
    Dm.TimerAccessPointZQ.Open();
    OpenTicketsOf(5);
    SkipSent();
    Dm.SpareCardZQ.Edit();
    Dm.SpareCardZQemployeeid.SetAsInteger(12);
    Dm.SpareCardZQ.Post();
    for (Dm.TimerAccessPointZQ.First(); !Dm.TimerAccessPointZQ.Eof(); Dm.TimerAccessPointZQ.Next()) {
        if (Dm.TimerAccessPointZQallaccess.AsBoolean()) {
            AppendTicket(Dm.TimerAccessPointZQtimeraccesspointid.AsInteger(), Dm.SpareCardZQemployeecardid.AsInteger(),
                         Dm.SpareCardZQemployeeid.AsInteger());
        }
    }
    const std::string columns = "(timeraccessticketid,timeraccesspointid,employeecardid,employeeid,timerguestid,"
                                "active,comment)";
    EXPECT_THAT(Sent(), ElementsAre("UPDATE employeecard SET employeeid=12 WHERE employeecardid=5",
                                    "INSERT INTO timeraccessticket " + columns + " VALUES (NULL,3,5,12,NULL,'Y',NULL)",
                                    "SELECT LAST_INSERT_ID()",
                                    "INSERT INTO timeraccessticket " + columns + " VALUES (NULL,4,5,12,NULL,'Y',NULL)",
                                    "SELECT LAST_INSERT_ID()"));
    EXPECT_EQ(Dm.TimerAccessTicketZQ.RecordCount(), 2);
}

TEST_F(RowPostingTest, ANewTicketIsInsertedWithEveryColumnAndItsKeyReadBack)
{
    SeedCards();
    Db.Exec("ALTER TABLE timeraccessticket AUTO_INCREMENT = 31");
    OpenTicketsOf(5);
    SkipSent();
    AppendTicket(3, 5, 12);
    EXPECT_THAT(Sent(), ElementsAre("INSERT INTO timeraccessticket (timeraccessticketid,timeraccesspointid,"
                                    "employeecardid,employeeid,timerguestid,active,comment) VALUES "
                                    "(NULL,3,5,12,NULL,'Y',NULL)",
                                    "SELECT LAST_INSERT_ID()"));
    EXPECT_EQ(Dm.TimerAccessTicketZQtimeraccessticketid.AsInteger(), 31);
    EXPECT_EQ(Dm.TimerAccessTicketZQ.RecordCount(), 1);
    EXPECT_EQ(Dm.TimerAccessTicketZQ.RecNo(), 0);
    EXPECT_EQ(Db.Query("SELECT timeraccessticketid, timeraccesspointid, employeecardid, employeeid, timerguestid, "
                       "active, comment FROM timeraccessticket"),
              (std::vector<selvo::test::Row>{{"31", "3", "5", "12", std::nullopt, "Y", std::nullopt}}));
}

TEST_F(RowPostingTest, ARepointedTicketIsUpdatedByItsKeyAndAnUnchangedOneSendsNothing)
{
    SeedCards();
    Db.Exec("INSERT INTO timeraccessticket (timeraccessticketid, timeraccesspointid, employeecardid, employeeid, "
            "active) VALUES (44, 3, 5, 13, 'Y'), (45, 4, 5, 12, 'Y')");
    OpenTicketsOf(5);
    SkipSent();
    for (Dm.TimerAccessTicketZQ.First(); !Dm.TimerAccessTicketZQ.Eof(); Dm.TimerAccessTicketZQ.Next()) {
        Dm.TimerAccessTicketZQ.Edit();
        Dm.TimerAccessTicketZQemployeeid.SetAsInteger(12);
        Dm.TimerAccessTicketZQ.Post();
    }
    EXPECT_THAT(Sent(), ElementsAre("UPDATE timeraccessticket SET employeeid=12 WHERE timeraccessticketid=44"));

    // An edit posted without any change sends nothing either.
    Dm.TimerAccessTicketZQ.First();
    Dm.TimerAccessTicketZQ.Edit();
    Dm.TimerAccessTicketZQ.Post();
    EXPECT_THAT(Sent(), IsEmpty());
}

TEST_F(RowPostingTest, ANewVisitIsInsertedWithEveryColumnAndItsKeyIsReadAtOnce)
{
    SeedCards();
    Db.Exec("ALTER TABLE timerguest AUTO_INCREMENT = 40");
    Dm.GuestZQ.Open();
    SkipSent();
    Dm.GuestZQ.Append();
    Dm.GuestZQlastname.SetAsString("O'Brien");
    Dm.GuestZQfirstname.SetAsString("Ana");
    Dm.GuestZQregcode.SetAsString("ID 7");
    Dm.GuestZQdescription.SetAsString("C:\\ulaz \"B\"\r\nline");
    Dm.GuestZQemployeecardid.SetAsInteger(5);
    Dm.GuestZQstartdatetime.SetAsDateTime(DateTime{2024, 3, 5, 14, 7, 9});
    Dm.GuestZQ.Post();
    EXPECT_THAT(Sent(), ElementsAre("INSERT INTO timerguest (timerguestid,firstname,lastname,personalidentificator,"
                                    "regcode,startdatetime,enddatetime,description,employeecardid,timerguestts) VALUES "
                                    "(NULL,'Ana','O\\'Brien',NULL,'ID 7','2024-03-05 14:07:09',NULL,"
                                    "'C:\\\\ulaz \\\"B\\\"\\r\\nline',5,NULL)",
                                    "SELECT LAST_INSERT_ID()"));
    EXPECT_EQ(Dm.GuestZQtimerguestid.AsInteger(), 40);
    EXPECT_EQ(Dm.GuestZQstartdatetime.AsDateTime(), (DateTime{2024, 3, 5, 14, 7, 9}));
    EXPECT_EQ(Db.Query("SELECT lastname, description FROM timerguest WHERE timerguestid = 40"),
              (std::vector<selvo::test::Row>{{"O'Brien", "C:\\ulaz \"B\"\r\nline"}}));
}

TEST_F(RowPostingTest, TablesAreDescribedOncePerConnection)
{
    SeedCards();
    OpenTicketsOf(5);
    AppendTicket(3, 5, 12);
    OpenTicketsOf(5);
    AppendTicket(4, 5, 12);
    Dm.TimerAccessTicketZQ.First();
    Dm.TimerAccessTicketZQ.Edit();
    Dm.TimerAccessTicketZQtimerguestid.SetAsInteger(2);
    Dm.TimerAccessTicketZQ.Post();
    std::vector<std::string> shows;
    for (const auto& statement : Sent()) {
        if (statement.rfind("SHOW", 0) == 0) {
            shows.push_back(statement);
        }
    }
    const std::string db = Db.Name();
    EXPECT_THAT(shows, ElementsAre("SHOW TABLES FROM " + db + " LIKE 'timeraccessticket'",
                                   "SHOW COLUMNS FROM " + db + ".timeraccessticket LIKE '%'",
                                   "SHOW KEYS FROM " + db + ".timeraccessticket",
                                   "SHOW TABLES FROM " + db + " LIKE 'employeecard'",
                                   "SHOW COLUMNS FROM " + db + ".employeecard LIKE '%'",
                                   "SHOW KEYS FROM " + db + ".employeecard"));

    // A new connection describes again.
    Dm.ZConnection.Disconnect();
    OpenTicketsOf(5);
    auto again = Sent();
    EXPECT_EQ(std::count_if(again.begin(), again.end(), [](const std::string& s) { return s.rfind("SHOW", 0) == 0; }),
              6);
}

TEST_F(RowPostingTest, ColumnsTheInstallationAddedAreInsertedWithTheirDefaults)
{
    SeedCards();
    Db.Exec("ALTER TABLE timeraccessticket ADD COLUMN note VARCHAR(20) NULL, ADD COLUMN priority INT NOT NULL "
            "DEFAULT 7, ADD COLUMN label VARCHAR(10) NOT NULL DEFAULT 'nema''s', ADD COLUMN checked ENUM('Y','N') "
            "NOT NULL DEFAULT 'y', ADD COLUMN stamp DATETIME NULL DEFAULT CURRENT_TIMESTAMP");
    Db.Exec("ALTER TABLE timeraccessticket AUTO_INCREMENT = 60");
    OpenTicketsOf(5);
    SkipSent();
    AppendTicket(3, 5, 0);
    EXPECT_THAT(Sent(), ElementsAre("SELECT 7,'nema\\'s',1,'current_timestamp()'",
                                    "INSERT INTO timeraccessticket (timeraccessticketid,timeraccesspointid,"
                                    "employeecardid,employeeid,timerguestid,active,comment,note,priority,label,checked,"
                                    "stamp) VALUES (NULL,3,5,NULL,NULL,'Y',NULL,NULL,7,'nema\\'s','Y',NULL)",
                                    "SELECT LAST_INSERT_ID()"));
    EXPECT_EQ(Db.Query("SELECT priority, label, checked, stamp FROM timeraccessticket WHERE timeraccessticketid = 60"),
              (std::vector<selvo::test::Row>{{"7", "nema's", "Y", std::nullopt}}));
}

TEST_F(RowPostingTest, LiteralsFollowTheTableColumnsOwnType)
{
    Db.Exec("CREATE TABLE typed (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY, d DATE NULL, t TIME NULL,"
            " dt DATETIME(3) NULL, f ENUM('N','Y') NULL, n DECIMAL(6,2) NULL, s VARCHAR(5) NULL, i TINYINT NULL)");
    TZQuery q(Dm.ZConnection, "TypedZQ", true);
    q.SetSQL("SELECT * FROM typed");
    q.Open();
    SkipSent();
    q.Append();
    q.FieldByName("d").SetAsDateTime(DateTime{2024, 3, 5, 14, 7, 9});
    q.FieldByName("t").SetAsDateTime(DateTime{2024, 3, 5, 14, 7, 9});
    q.FieldByName("dt").SetAsString("2024-03-05 14:07:09.750");
    q.FieldByName("f").SetAsBoolean(false);
    q.FieldByName("n").SetAsFloat(-2.5);
    q.FieldByName("s").SetAsString("abcdefg");
    q.FieldByName("i").SetAsString("-7");
    q.Post();
    EXPECT_THAT(Sent(), ElementsAre("INSERT INTO typed (id,d,t,dt,f,n,s,i) VALUES (NULL,'2024-03-05','14:07:09',"
                                    "'2024-03-05 14:07:09','N',-2.5,'abcde',-7)",
                                    "SELECT LAST_INSERT_ID()"));
    EXPECT_EQ(q.FieldByName("id").AsInteger(), 1);
    EXPECT_THROW(q.FieldByName("i").SetAsString("x"), DatabaseError) << "browse state";
    q.Edit();
    EXPECT_EQ(FailureOf([&] { q.FieldByName("i").SetAsString("seven"); }), "'seven' is not a valid integer value");
    EXPECT_EQ(FailureOf([&] { q.FieldByName("d").SetAsString("5.3.2024"); }),
              "'5.3.2024' is not a valid date and time");
    q.Cancel();
}

TEST_F(RowPostingTest, ATableWithoutAPrimaryKeyIsUpdatedByAllItsNonStreamColumns)
{
    Db.Exec("CREATE TABLE visitlog (a INT NULL, b VARCHAR(10) NULL, c TEXT NULL, d DATETIME NULL, e ENUM('N','Y'));"
            "INSERT INTO visitlog VALUES (1, NULL, 'long text', '2024-01-02 03:04:05', 'Y')");
    TZQuery q(Dm.ZConnection, "VisitLogZQ", true);
    q.SetSQL("SELECT * FROM visitlog");
    q.Open();
    SkipSent();
    q.Edit();
    q.FieldByName("a").SetAsInteger(2);
    q.FieldByName("c").SetAsString("other");
    q.Post();
    EXPECT_THAT(Sent(), ElementsAre("UPDATE visitlog SET a=2,c='other' WHERE a=1 AND b IS NULL  AND "
                                    "d='2024-01-02 03:04:05' AND e='Y'"));
    EXPECT_EQ(Db.Query("SELECT a, c FROM visitlog"), (std::vector<selvo::test::Row>{{"2", "other"}}));
}

TEST_F(RowPostingTest, AQueryWithoutThePrimaryKeyColumnIsUpdatedByItsOtherColumns)
{
    SeedCards();
    TZQuery q(Dm.ZConnection, "CardsZQ", true);
    q.SetSQL("SELECT employeeid, cardcode FROM employeecard WHERE employeecardid = 5");
    q.Open();
    SkipSent();
    q.Edit();
    q.FieldByName("employeeid").SetAsInteger(12);
    q.Post();
    EXPECT_THAT(Sent(), ElementsAre("UPDATE employeecard SET employeeid=12 WHERE employeeid IS NULL  AND "
                                    "cardcode=100005"));
}

TEST_F(RowPostingTest, EditingAnEmptyListStartsANewRowThatPostsAsAnInsert)
{
    SeedCards();
    OpenTicketsOf(7);
    Dm.TimerAccessTicketZQ.Edit();
    EXPECT_EQ(Dm.TimerAccessTicketZQ.State(), DataSetState::Insert);
    EXPECT_TRUE(Dm.TimerAccessTicketZQtimeraccesspointid.IsNull());
    Dm.TimerAccessTicketZQtimeraccesspointid.SetAsInteger(4);
    Dm.TimerAccessTicketZQemployeecardid.SetAsInteger(7);
    Dm.TimerAccessTicketZQactive.SetAsBoolean(true);
    SkipSent();
    Dm.TimerAccessTicketZQ.Post();
    auto sent = Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_THAT(sent.front(), StartsWith("INSERT INTO timeraccessticket "));
    EXPECT_EQ(Dm.TimerAccessTicketZQ.RecordCount(), 1);
}

TEST_F(RowPostingTest, AFailedPostLeavesTheRowsAsTheyWereAndTheValuesSet)
{
    SeedCards();
    Db.Exec("INSERT INTO timeraccessticket (timeraccessticketid, timeraccesspointid, employeecardid, active) VALUES "
            "(50, 3, 5, 'Y')");
    Dm.GuestZQ.Open();
    Dm.GuestZQ.Append();
    Dm.GuestZQlastname.SetAsString("Ivic");
    EXPECT_EQ(FailureOf([&] { Dm.GuestZQ.Post(); }), "SQL Error: Column 'firstname' cannot be null");
    EXPECT_EQ(Dm.GuestZQ.State(), DataSetState::Insert);
    EXPECT_EQ(Dm.GuestZQlastname.AsString(), "Ivic");
    Dm.GuestZQfirstname.SetAsString("Iva");
    Dm.GuestZQ.Post();
    EXPECT_EQ(Dm.GuestZQ.RecordCount(), 1);
    EXPECT_GT(Dm.GuestZQtimerguestid.AsInteger(), 0);

    OpenTicketsOf(5);
    Dm.TimerAccessTicketZQ.Edit();
    Dm.TimerAccessTicketZQtimeraccesspointid.Clear();
    Dm.TimerAccessTicketZQemployeeid.SetAsInteger(12);
    EXPECT_EQ(FailureOf([&] { Dm.TimerAccessTicketZQ.Post(); }),
              "SQL Error: Column 'timeraccesspointid' cannot be null");
    EXPECT_EQ(Dm.TimerAccessTicketZQ.State(), DataSetState::Edit);
    EXPECT_EQ(Dm.TimerAccessTicketZQemployeeid.AsInteger(), 12);
    Dm.TimerAccessTicketZQ.Cancel();
    EXPECT_EQ(Dm.TimerAccessTicketZQtimeraccesspointid.AsInteger(), 3);
    EXPECT_TRUE(Dm.TimerAccessTicketZQemployeeid.IsNull());

    // A failed insert adds no row to the list; cancelling returns to the row before.
    Dm.TimerAccessTicketZQ.Append();
    EXPECT_EQ(Dm.TimerAccessTicketZQ.RecordCount(), 2);
    EXPECT_THAT(FailureOf([&] { Dm.TimerAccessTicketZQ.Post(); }), StartsWith("SQL Error: Column "));
    Dm.TimerAccessTicketZQ.Cancel();
    EXPECT_EQ(Dm.TimerAccessTicketZQ.RecordCount(), 1);
    EXPECT_EQ(Dm.TimerAccessTicketZQtimeraccessticketid.AsInteger(), 50);
}

TEST_F(RowPostingTest, QueriesThatAreNotOneTablesColumnsCannotBePosted)
{
    SeedCards();
    TZQuery joined(Dm.ZConnection, "JoinedZQ", true);
    joined.SetSQL("SELECT ec.employeecardid, e.lastname FROM employeecard ec JOIN employee e ON "
                  "e.employeeid = ec.employeeid");
    joined.Open();
    joined.Edit();
    joined.FieldByName("lastname").SetAsString("X");
    SkipSent();
    EXPECT_EQ(FailureOf([&] { joined.Post(); }), "Can not update a complex query with more then one table");
    EXPECT_EQ(joined.State(), DataSetState::Edit);

    TZQuery computed(Dm.ZConnection, "ComputedZQ", true);
    computed.SetSQL("SELECT 1 + 1 AS two, NOW() AS stamp");
    computed.Open();
    SkipSent();
    computed.Edit();
    computed.FieldByName("two").SetAsInteger(3);
    EXPECT_EQ(FailureOf([&] { computed.Post(); }), "Can not update this query type");
    EXPECT_THAT(Sent(), IsEmpty());
}

TEST_F(RowPostingTest, MovingAwayFromAChangedRowPostsItAndFromAnUnchangedOneCancels)
{
    SeedCards();
    Dm.SpareCardZQ.SetSQL(std::string(SpareCardListSql));
    Dm.SpareCardZQ.Open();
    Dm.SpareCardZQ.Edit();
    Dm.SpareCardZQ.Next();
    EXPECT_EQ(Dm.SpareCardZQ.State(), DataSetState::Browse);
    SkipSent();
    Dm.SpareCardZQ.Edit();
    Dm.SpareCardZQname.SetAsString("R06b");
    Dm.SpareCardZQ.First();
    EXPECT_THAT(Sent(), ElementsAre("UPDATE employeecard SET name='R06b' WHERE employeecardid=6"));
    EXPECT_EQ(Dm.SpareCardZQ.CellText(1, Dm.SpareCardZQname), "R06b");
}

} // namespace
} // namespace selvo::data::test
