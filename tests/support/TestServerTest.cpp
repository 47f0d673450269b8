#include "TestServer.h"

#include <gtest/gtest.h>

#include <mysql.h>

namespace selvo::test {
namespace {

// The fixture's server is reached over TCP with Connector/C, as the program reaches an
// installation, and a fresh database holds the installation's five tables.
TEST(TestServerFixture, FreshDatabaseHoldsTheInstallationTables)
{
    TestDatabase db;
    const ServerAddress& server = db.Server();

    MYSQL* handle = mysql_init(nullptr);
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(mysql_real_connect(handle, server.Host.c_str(), server.User.c_str(), server.Password.c_str(),
                                 db.Name().c_str(), static_cast<unsigned>(server.Port), nullptr,
                                 CLIENT_CONNECT_WITH_DB),
              nullptr)
        << mysql_error(handle);

    std::string show = "SHOW TABLES";
    ASSERT_EQ(mysql_real_query(handle, show.data(), show.size()), 0) << mysql_error(handle);
    MYSQL_RES* result = mysql_store_result(handle);
    ASSERT_NE(result, nullptr);
    std::vector<std::string> tables;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        tables.emplace_back(row[0]);
    }
    mysql_free_result(result);
    mysql_close(handle);

    EXPECT_EQ(tables, (std::vector<std::string>{"employee", "employeecard", "timeraccesspoint", "timeraccessticket",
                                                "timerguest"}));

    auto columns = db.Query("SHOW COLUMNS FROM timeraccessticket");
    std::vector<std::string> names;
    for (auto& column : columns) {
        names.push_back(column[0].value_or(""));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"timeraccessticketid", "timeraccesspointid", "employeecardid",
                                               "employeeid", "timerguestid", "active", "comment"}));
}

// The general log is the tests' witness of what reached the server.
TEST(TestServerFixture, GeneralLogRecordsEachStatementOfAConnection)
{
    TestDatabase db;
    const ServerAddress& server = db.Server();
    MYSQL* handle = mysql_init(nullptr);
    ASSERT_NE(mysql_real_connect(handle, server.Host.c_str(), server.User.c_str(), server.Password.c_str(),
                                 db.Name().c_str(), static_cast<unsigned>(server.Port), nullptr, 0),
              nullptr);
    std::string statement = "SELECT COUNT(*) FROM employeecard WHERE comment LIKE '%%REZER%%'";
    ASSERT_EQ(mysql_real_query(handle, statement.data(), statement.size()), 0);
    mysql_free_result(mysql_store_result(handle));
    unsigned long thread = mysql_thread_id(handle);
    mysql_close(handle);

    EXPECT_EQ(db.StatementsOf(thread), std::vector<std::string>{statement});
}

TEST(TestServerFixture, DatabasesOfTwoTestsAreApart)
{
    TestDatabase first;
    TestDatabase second;
    EXPECT_NE(first.Name(), second.Name());
    first.Exec("INSERT INTO employee (lastname, firstname) VALUES ('A', 'B')");
    EXPECT_EQ(second.Scalar("SELECT COUNT(*) FROM employee"), "0");
}

} // namespace
} // namespace selvo::test
