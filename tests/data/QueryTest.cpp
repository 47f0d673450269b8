#include <algorithm>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DataModuleFixture.h"

namespace selvo::data::test {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

using QueryTest = DataModuleFixture;

// Every named field binds to its column on the installation's tables (no "not found", no "Type
// mismatch"), and the grids get the titles and order they show.
TEST_F(QueryTest, EveryNamedQueryOpensWithItsFieldsBoundOnTheInstallationsTables)
{
    SeedCards();
    OpenSpareList();
    Dm.GuestCardZQ.SetSQL(std::string(GuestCardListSql));
    Dm.GuestCardZQ.Open();
    Dm.EmployeeZQ.SetSQL("SELECT e.* FROM employee AS e LEFT JOIN employeecard AS ec ON ec.employeeid = e.employeeid "
                         "WHERE (e.active != 'n') AND (ec.employeecardid IS NULL) ORDER BY e.firstname ASC");
    Dm.EmployeeZQ.Open();
    Dm.GuestZQ.Open();
    Dm.TimerAccessTicketZQ.ParamByName("IDEmployeeCard").SetAsInteger(5);
    Dm.TimerAccessTicketZQ.Open();
    Dm.TimerAccessPointZQ.Open();
    for (TZQuery* q : {&Dm.SpareCardZQ, &Dm.GuestCardZQ, &Dm.EmployeeZQ, &Dm.GuestZQ, &Dm.TimerAccessTicketZQ,
                       &Dm.TimerAccessPointZQ}) {
        EXPECT_TRUE(q->Active()) << q->Name();
        for (TField* field : q->Fields()) {
            EXPECT_GE(field->ColumnIndex(), 0) << field->Name();
        }
    }
    auto labels = [](const TZQuery& q) {
        std::vector<std::string> titles;
        for (TField* field : q.Fields()) {
            titles.push_back(field->DisplayLabel());
        }
        return titles;
    };
    EXPECT_THAT(labels(Dm.SpareCardZQ), ElementsAre("employeecardid", "employeeid", "Kod kartice", "Kod", "active",
                                                    "comment", "employeecardts", "Zaposleni"));
    EXPECT_EQ(labels(Dm.GuestCardZQ).back(), "Gost");
    EXPECT_THAT(labels(Dm.EmployeeZQ), ElementsAre("Ime", "Prezime", "JMBG", "employeeid"));
    EXPECT_EQ(Dm.EmployeeZQlastname.AsString(), "Petrovic") << "employee 13 holds a card";
    EXPECT_EQ(Dm.EmployeeZQ.RecordCount(), 1);
    EXPECT_EQ(&Dm.EmployeeDS.DataSet(), &Dm.EmployeeZQ);
    EXPECT_EQ(&Dm.GuestDS.DataSet(), &Dm.GuestZQ);
    EXPECT_EQ(&Dm.GuestCardDS.DataSet(), &Dm.GuestCardZQ);
    EXPECT_FALSE(Dm.EmployeeChosen);
    EXPECT_FALSE(Dm.GuestAccepted);
    EXPECT_EQ(Dm.WorkMode, 0);
}

TEST_F(QueryTest, TicketListIsSentAsOneLineWithTheCardKeyInPlaceOfThePlaceholder)
{
    SeedCards();
    Dm.ZConnection.Connect();
    SkipSent();
    Dm.TimerAccessTicketZQ.ParamByName("IDEmployeeCard").SetAsInteger(12);
    Dm.TimerAccessTicketZQ.Open();
    auto sent = Sent();
    EXPECT_THAT(sent, ::testing::Contains("SELECT tat.*, ROUND(ec.cardcode + 0) AS employeecardcode FROM "
                                          "timeraccessticket AS tat LEFT JOIN employeecard AS ec ON tat.employeecardid "
                                          "= ec.employeecardid WHERE tat.employeecardid = 12 ORDER BY "
                                          "tat.timeraccesspointid"));
    EXPECT_EQ(sent.front().substr(0, 6), "SELECT") << "the list runs before any table is described";
}

// The server drops trailing blanks of a statement before its log sees it, so the last CR LF is
// checked on the text as it is handed to the client library.
TEST_F(QueryTest, TextsWithoutAColonAreSentWithCrLfAfterEachLine)
{
    SeedCards();
    Dm.ZConnection.Connect();
    SkipSent();
    EXPECT_EQ(Dm.GuestZQ.ProcessedSQL(), "SELECT * FROM timerguest AS tm \r\nWHERE tm.timerguestid = -1\r\n");
    Dm.GuestZQ.Open();
    OpenSpareList();
    EXPECT_EQ(Dm.SpareCardZQ.ProcessedSQL(), std::string(SpareCardListSql) + "\r\n");
    auto sent = Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), "SELECT * FROM timerguest AS tm \r\nWHERE tm.timerguestid = -1");
    EXPECT_THAT(sent, ::testing::Contains(std::string(SpareCardListSql)));
}

TEST_F(QueryTest, ListsHoldTheCardsByCommentWithTheHoldersNameOrderedByName)
{
    SeedCards();
    Db.Exec("INSERT INTO employeecard (employeecardid, employeeid, cardcode, name, active, comment) VALUES "
            "(9, 99, 100009, 'A09', 'Y', 'REZERVA GOST'), (10, NULL, 100010, 'A10', 'Y', NULL);"
            "INSERT INTO timerguest (firstname, lastname, employeecardid, enddatetime) VALUES "
            "('Iva', 'Ivic', 7, NULL), ('Old', 'Visit', 7, '2024-01-01 10:00:00')");
    OpenSpareList();
    std::vector<std::string> spare;
    for (Dm.SpareCardZQ.First(); !Dm.SpareCardZQ.Eof(); Dm.SpareCardZQ.Next()) {
        spare.push_back(Dm.SpareCardZQname.AsString() + "=" + Dm.SpareCardZQename.AsString());
    }
    // Card 9 names an employee that does not exist: free.
    EXPECT_THAT(spare, ElementsAre("A09=", "R05=", "R06=Jovic Marko"));

    Dm.GuestCardZQ.SetSQL(std::string(GuestCardListSql));
    Dm.GuestCardZQ.Open();
    std::vector<std::string> guest;
    for (Dm.GuestCardZQ.First(); !Dm.GuestCardZQ.Eof(); Dm.GuestCardZQ.Next()) {
        guest.push_back(Dm.GuestCardZQname.AsString() + "=" + Dm.GuestCardZQename.AsString());
    }
    EXPECT_THAT(guest, ElementsAre("A09=", "G07=Ivic Iva"));
}

TEST_F(QueryTest, CursorWalksRowsAndGridsReadAnyRowWithoutMovingIt)
{
    SeedCards();
    Dm.TimerAccessPointZQ.Open();
    auto& q = Dm.TimerAccessPointZQ;
    EXPECT_EQ(q.RecordCount(), 3);
    EXPECT_EQ(q.RecNo(), 0);
    EXPECT_FALSE(q.Eof());
    EXPECT_EQ(q.CellText(2, Dm.TimerAccessPointZQname), "Kancelarija");
    EXPECT_EQ(q.CellText(1, Dm.TimerAccessPointZQallaccess), "True");
    EXPECT_EQ(q.CellText(2, Dm.TimerAccessPointZQallaccess), "False");
    EXPECT_EQ(q.CellText(7, Dm.TimerAccessPointZQname), "");
    EXPECT_EQ(q.RecNo(), 0);
    EXPECT_EQ(Dm.TimerAccessPointZQname.AsString(), "Ulaz");
    q.Next();
    q.Next();
    EXPECT_FALSE(q.Eof());
    EXPECT_EQ(Dm.TimerAccessPointZQtimeraccesspointid.AsInteger(), 8);
    q.Next();
    EXPECT_TRUE(q.Eof());
    EXPECT_EQ(q.RecNo(), 2) << "a move past the end stays on the last row";
    q.MoveTo(1);
    EXPECT_EQ(Dm.TimerAccessPointZQlocalip.AsString(), "198.18.0.4");
    EXPECT_EQ(Dm.TimerAccessPointZQudpport.AsLargeInt(), 4002);
    EXPECT_FALSE(Dm.TimerAccessPointZQcomment.AsString().size());
    q.First();
    EXPECT_EQ(q.RecNo(), 0);

    Dm.TimerAccessTicketZQ.ParamByName("IDEmployeeCard").SetAsInteger(5);
    Dm.TimerAccessTicketZQ.Open();
    EXPECT_TRUE(Dm.TimerAccessTicketZQ.Eof());
    EXPECT_EQ(Dm.TimerAccessTicketZQ.RecordCount(), 0);
    EXPECT_EQ(Dm.TimerAccessTicketZQ.RecNo(), -1);
}

TEST_F(QueryTest, ValuesReadByTheirColumnsTypeAndNullsReadAsZeroFalseEmpty)
{
    Db.Exec("CREATE TABLE flags (id TINYINT NOT NULL PRIMARY KEY, f ENUM('n','y') NULL, t VARCHAR(5) NULL,"
            " d DATETIME NULL, big BIGINT NULL, small SMALLINT UNSIGNED NULL);"
            "INSERT INTO flags VALUES (1, 'y', 'YES', '0000-00-00 00:00:00', 4294967301, 65535),"
            "(2, 'n', 'n', '2024-03-05 14:07:09', -1, 0), (3, NULL, '0', NULL, NULL, NULL), (4, 'N', 'T', NULL, 0, 2)");
    TZQuery q(Dm.ZConnection, "FlagsZQ", false);
    q.SetSQL("SELECT * FROM flags ORDER BY id");
    q.Open();
    TField& f = q.FieldByName("F");
    TField& t = q.FieldByName("t");
    TField& d = q.FieldByName("d");
    TField& big = q.FieldByName("big");
    EXPECT_EQ(f.DataType(), FieldType::Boolean);
    EXPECT_EQ(q.FieldByName("id").DataType(), FieldType::LargeInt);
    EXPECT_EQ(q.FieldByName("small").DataType(), FieldType::LargeInt);
    EXPECT_EQ(t.DataType(), FieldType::String);
    EXPECT_EQ(t.Size(), 5);

    EXPECT_TRUE(f.AsBoolean());
    EXPECT_TRUE(t.AsBoolean());
    EXPECT_TRUE(d.IsNull()) << "the zero date reads as null";
    EXPECT_EQ(d.AsDateTime(), DateTime{});
    EXPECT_EQ(big.AsLargeInt(), 4294967301);
    EXPECT_EQ(big.AsInteger(), 5) << "keys travel as 32-bit integers";
    EXPECT_EQ(q.FieldByName("small").AsInteger(), 65535);
    q.Next();
    EXPECT_FALSE(f.AsBoolean());
    EXPECT_FALSE(t.AsBoolean());
    EXPECT_EQ(d.AsDateTime(), (DateTime{2024, 3, 5, 14, 7, 9}));
    EXPECT_EQ(d.AsString(), "2024-03-05 14:07:09");
    EXPECT_EQ(big.AsInteger(), -1);
    q.Next();
    EXPECT_TRUE(f.IsNull());
    EXPECT_FALSE(f.AsBoolean());
    EXPECT_FALSE(t.AsBoolean()) << "0 is false";
    EXPECT_EQ(big.AsLargeInt(), 0);
    EXPECT_EQ(big.AsFloat(), 0.0);
    EXPECT_EQ(big.AsString(), "");
    q.Next();
    EXPECT_FALSE(f.AsBoolean()) << "the enum stores N as written";
    EXPECT_TRUE(t.AsBoolean());
    EXPECT_THROW(q.FieldByName("nosuch"), DatabaseError);
}

TEST_F(QueryTest, TheTicketsComputedCardCodeReadsAsAFloatAndNullWithoutACard)
{
    SeedCards();
    Db.Exec("INSERT INTO timeraccessticket (timeraccesspointid, employeecardid, active) VALUES (3, 5, 'Y');"
            "INSERT INTO timeraccessticket (timeraccesspointid, employeecardid, active) VALUES (4, 5, 'Y');"
            "DELETE FROM employeecard WHERE employeecardid = 6;"
            "INSERT INTO timeraccessticket (timeraccesspointid, employeecardid, active) VALUES (3, 6, 'Y')");
    Dm.TimerAccessTicketZQ.ParamByName("IDEmployeeCard").SetAsInteger(5);
    Dm.TimerAccessTicketZQ.Open();
    EXPECT_EQ(Dm.TimerAccessTicketZQ.RecordCount(), 2);
    EXPECT_DOUBLE_EQ(Dm.TimerAccessTicketZQemployeecardcode.AsFloat(), 100005.0);
    EXPECT_TRUE(Dm.TimerAccessTicketZQactive.AsBoolean());
    Dm.TimerAccessTicketZQ.Close();
    Dm.TimerAccessTicketZQ.ParamByName("IDEmployeeCard").SetAsInteger(6);
    Dm.TimerAccessTicketZQ.Open();
    ASSERT_EQ(Dm.TimerAccessTicketZQ.RecordCount(), 1);
    EXPECT_TRUE(Dm.TimerAccessTicketZQemployeecardcode.IsNull());
}

TEST_F(QueryTest, ATextPutIntoATextFieldKeepsItsSize)
{
    Dm.GuestZQ.Open();
    Dm.GuestZQ.Append();
    Dm.GuestZQfirstname.SetAsString("Aleksandar-Konstantin1");
    Dm.GuestZQfirstname.SetAsString("ABCDEFGHIJKLMNOPQRSTUVWXY");
    EXPECT_EQ(Dm.GuestZQfirstname.AsString(), "ABCDEFGHIJKLMNOPQRST");
    std::string description(300, 'd');
    Dm.GuestZQdescription.SetAsString(description);
    EXPECT_EQ(Dm.GuestZQdescription.AsString().size(), 255u);
}

TEST_F(QueryTest, SettingTheTextClosesTheQueryAndKeepsParametersThatKeepTheirName)
{
    SeedCards();
    auto& q = Dm.TimerAccessTicketZQ;
    q.ParamByName("IDEmployeeCard").SetAsInteger(5);
    q.Open();
    q.SetSQL("SELECT * FROM timeraccessticket WHERE employeecardid = :idemployeecard OR timerguestid = :Guest");
    EXPECT_FALSE(q.Active());
    EXPECT_EQ(q.RecordCount(), 0);
    ASSERT_EQ(q.Params().size(), 2u);
    EXPECT_EQ(q.ParamByName("IDEMPLOYEECARD").AsInteger(), 5);
    EXPECT_TRUE(q.ParamByName("Guest").IsNull());
    EXPECT_EQ(q.ProcessedSQL(), "SELECT * FROM timeraccessticket WHERE employeecardid = 5 OR timerguestid = NULL");
    q.ParamByName("Guest").SetAsString("O'B");
    EXPECT_EQ(q.ProcessedSQL(), "SELECT * FROM timeraccessticket WHERE employeecardid = 5 OR timerguestid = 'O\\'B'");
    EXPECT_EQ(FailureOf([&] { q.ParamByName("nosuch"); }), "Parameter 'nosuch' not found");
}

TEST_F(QueryTest, OpeningAnOpenQuerySendsNothing)
{
    SeedCards();
    Dm.TimerAccessPointZQ.Open();
    SkipSent();
    Dm.TimerAccessPointZQ.Open();
    EXPECT_TRUE(Sent().empty());
}

TEST_F(QueryTest, RefreshKeepsTheCurrentRowWhileItsFieldsAreUnchanged)
{
    SeedCards();
    Db.Exec("INSERT INTO employeecard (employeecardid, cardcode, name, active, comment) VALUES "
            "(20, 1, 'R20', 'Y', 'REZER')");
    OpenSpareList();
    Dm.SpareCardZQ.MoveTo(1); // R06
    ASSERT_EQ(Dm.SpareCardZQname.AsString(), "R06");
    Db.Exec("UPDATE employeecard SET employeeid = 12 WHERE employeecardid = 20"); // another row changes
    Dm.SpareCardZQ.Refresh();
    EXPECT_EQ(Dm.SpareCardZQ.RecNo(), 1);
    EXPECT_EQ(Dm.SpareCardZQname.AsString(), "R06");
    EXPECT_EQ(Dm.SpareCardZQ.CellText(2, Dm.SpareCardZQename), "Petrovic Ana");

    Dm.SpareCardZQ.MoveTo(0); // R05 gets lent: its ename changes, so the first row becomes current
    Db.Exec("UPDATE employeecard SET employeeid = 12 WHERE employeecardid = 5");
    Dm.SpareCardZQ.MoveTo(2);
    Db.Exec("UPDATE employeecard SET employeeid = 13 WHERE employeecardid = 20");
    Dm.SpareCardZQ.Refresh();
    EXPECT_EQ(Dm.SpareCardZQ.RecNo(), 0);
    EXPECT_EQ(Dm.SpareCardZQename.AsString(), "Petrovic Ana");
    EXPECT_TRUE(Dm.SpareCardZQ.Active());
}

TEST_F(QueryTest, RefreshRunsTheTextAgainAndFindsTheRowAtItsNewPlace)
{
    SeedCards();
    OpenSpareList();
    Dm.SpareCardZQ.MoveTo(1); // R06
    Db.Exec("INSERT INTO employeecard (employeecardid, cardcode, name, active, comment) VALUES "
            "(21, 1, 'A21', 'Y', 'REZER')");
    SkipSent();
    Dm.SpareCardZQ.Refresh();
    EXPECT_EQ(Sent(), std::vector<std::string>{std::string(SpareCardListSql)});
    EXPECT_EQ(Dm.SpareCardZQ.RecordCount(), 3);
    EXPECT_EQ(Dm.SpareCardZQ.RecNo(), 2);
    EXPECT_EQ(Dm.SpareCardZQname.AsString(), "R06");
}

TEST_F(QueryTest, EveryFailureTextComesFromARealCause)
{
    SeedCards();
    auto& spare = Dm.SpareCardZQ;
    const std::string prefix = "SQL Error: ";

    EXPECT_EQ(FailureOf([&] { spare.Open(); }), "SQL Query is empty");
    EXPECT_EQ(FailureOf([&] { Dm.UpdateZQ.ExecSQL(); }), "SQL Query is empty");
    spare.SetSQL("  \r\n ");
    EXPECT_EQ(FailureOf([&] { spare.Open(); }), "SQL Query is empty");

    spare.SetSQL("SELECT * FROM nowhere");
    EXPECT_EQ(FailureOf([&] { spare.Open(); }), prefix + "Table '" + Db.Name() + ".nowhere' doesn't exist");
    Dm.UpdateZQ.SetSQL("UPDATE employeecard SET nosuch = 1");
    EXPECT_EQ(FailureOf([&] { Dm.UpdateZQ.ExecSQL(); }), prefix + "Unknown column 'nosuch' in 'SET'");

    spare.SetSQL("UPDATE employeecard SET name = 'X05' WHERE employeecardid = 5");
    EXPECT_EQ(FailureOf([&] { spare.Open(); }), "Can not retrieve ResultSet data");
    EXPECT_FALSE(spare.Active());

    spare.SetSQL("SELECT employeecardid, employeeid FROM employeecard");
    EXPECT_EQ(FailureOf([&] { spare.Open(); }), "Field 'Kod kartice' not found");
    EXPECT_FALSE(spare.Active());
    Dm.TimerAccessPointZQ.SetSQL("SELECT timeraccesspointid FROM timeraccesspoint");
    EXPECT_EQ(FailureOf([&] { Dm.TimerAccessPointZQ.Open(); }), "Field 'name' not found");

    spare.SetSQL("SELECT ec.employeecardid, ec.employeeid, ec.name AS cardcode, ec.name, ec.active, ec.comment, "
                 "ec.employeecardts, ec.name AS ename FROM employeecard ec");
    EXPECT_EQ(FailureOf([&] { spare.Open(); }),
              "Type mismatch for field 'Kod kartice', expecting: LargeInt actual: String");
    EXPECT_FALSE(spare.Active());
    EXPECT_TRUE(Dm.SpareCardZQcardcode.IsNull());

    Dm.TimerAccessPointZQ.SetSQL("SELECT * FROM timeraccesspoint ORDER BY timeraccesspointid");
    Dm.TimerAccessPointZQ.Open();
    EXPECT_EQ(FailureOf([&] { Dm.TimerAccessPointZQ.Edit(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(FailureOf([&] { Dm.TimerAccessPointZQ.Append(); }), "Cannot modify a read-only dataset");

    spare.Close();
    const std::string closed = "Cannot perform this operation on a closed dataset";
    EXPECT_EQ(FailureOf([&] { spare.Refresh(); }), closed);
    EXPECT_EQ(FailureOf([&] { spare.First(); }), closed);
    EXPECT_EQ(FailureOf([&] { spare.Next(); }), closed);
    EXPECT_EQ(FailureOf([&] { spare.MoveTo(0); }), closed);
    EXPECT_EQ(FailureOf([&] { spare.Edit(); }), closed);
    EXPECT_EQ(FailureOf([&] { spare.Append(); }), closed);
    EXPECT_EQ(FailureOf([&] { spare.Post(); }), closed);
    EXPECT_EQ(FailureOf([&] { Dm.SpareCardZQemployeeid.SetAsInteger(12); }),
              "Operation is not allowed for closed dataset");

    OpenSpareList();
    EXPECT_EQ(FailureOf([&] { Dm.SpareCardZQemployeeid.SetAsInteger(12); }), "Dataset not in edit or insert mode");
    EXPECT_EQ(FailureOf([&] { spare.Post(); }), "Dataset not in edit or insert mode");
}

// A restarted server must not stop the desk: the ended session is replaced before the next statement.
TEST_F(QueryTest, AConnectionKilledByTheServerIsReplacedBeforeTheNextStatement)
{
    SeedCards();
    OpenSpareList();
    unsigned long thread = Dm.ZConnection.ThreadId();
    Db.KillConnection(thread);

    EXPECT_EQ(FailureOf([&] { Dm.SpareCardZQ.Refresh(); }), "no failure");
    EXPECT_TRUE(Dm.SpareCardZQ.Active());
    Dm.UpdateZQ.SetSQL("UPDATE employeecard SET employeeid = NULL WHERE employeecardid = 6");
    EXPECT_EQ(FailureOf([&] { Dm.UpdateZQ.ExecSQL(); }), "no failure");
    EXPECT_EQ(Db.Scalar("SELECT employeeid FROM employeecard WHERE employeecardid = 6"), std::nullopt);
    EXPECT_NE(Dm.ZConnection.ThreadId(), thread);
    EXPECT_TRUE(Dm.ZConnection.Connected());
}

TEST_F(QueryTest, AnAdHocStatementThatMatchesNoRowSucceedsSilently)
{
    SeedCards();
    Dm.UpdateZQ.SetSQL("UPDATE employeecard SET employeeid = 12 WHERE employeecardid = 999");
    EXPECT_NO_THROW(Dm.UpdateZQ.ExecSQL());
    Dm.UpdateZQ.SetSQL("UPDATE timerguest SET employeecardid = NULL, enddatetime = '2024-03-05 14:07:09' WHERE "
                       "employeecardid = 7");
    Dm.UpdateZQ.ExecSQL();
    EXPECT_EQ(Sent().back(), "UPDATE timerguest SET employeecardid = NULL, enddatetime = '2024-03-05 14:07:09' WHERE "
                             "employeecardid = 7");
}

} // namespace
} // namespace selvo::data::test
