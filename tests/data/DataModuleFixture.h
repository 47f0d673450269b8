#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TavrinReserveGuestDM.h"
#include "TestServer.h"

namespace selvo::data::test {

// A fresh database with the installation's tables and a data module whose connection settings
// point at it (not yet connected). Sent() is the witness: the statements that reached the server
// from the module's connection since the last call.
class DataModuleFixture : public ::testing::Test
{
protected:
    explicit DataModuleFixture(const std::string& schema = selvo::test::TestDatabase::DefaultSchemaFile()) : Db(schema)
    {
        Db.Configure(Dm.ZConnection);
    }

    std::vector<std::string> Sent()
    {
        unsigned long thread = Dm.ZConnection.ThreadId();
        auto all = Db.StatementsOf(thread);
        size_t& seen = m_seen[thread];
        std::vector<std::string> fresh(all.begin() + static_cast<long>(std::min(seen, all.size())), all.end());
        seen = all.size();
        return fresh;
    }

    // Forgets what was sent so far (after a test's setup steps).
    void SkipSent() { Sent(); }

    void OpenSpareList()
    {
        Dm.SpareCardZQ.SetSQL(std::string(SpareCardListSql));
        Dm.SpareCardZQ.Open();
    }

    // The failure text of `action`, or "no failure".
    static std::string FailureOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const DatabaseError& error) {
            return error.what();
        }
        return "no failure";
    }

    // Two spare cards, one guest card, two employees (one holding card 1), two all-access points and
    // one point without all-access.
    void SeedCards()
    {
        Db.Exec(
            "INSERT INTO employee (employeeid, lastname, firstname, personalidentificator, code, active) VALUES "
            "(12, 'Petrovic', 'Ana', '0101990710001', 'K12', 'Y'), (13, 'Jovic', 'Marko', NULL, 'K13', 'Y');"
            "INSERT INTO employeecard (employeecardid, employeeid, cardcode, name, active, comment) VALUES "
            "(5, NULL, 100005, 'R05', 'Y', 'REZERVNA'), (6, 13, 100006, 'R06', 'Y', 'REZERVNA'),"
            "(7, NULL, 100007, 'G07', 'Y', 'GOST 3');"
            "INSERT INTO timeraccesspoint (timeraccesspointid, name, macaddress, localip, publicip, udpport, tcpport,"
            " currentdeviceindex, active, comment, allaccess, readaccess, outdoor) VALUES "
            "(3, 'Ulaz', '00:11', '198.18.0.3', '198.18.0.3', 4001, 5001, 0, 'Y', NULL, 'Y', 'N', 'N'),"
            "(4, 'Magacin', '00:12', '198.18.0.4', '198.18.0.4', 4002, 5002, 0, 'N', NULL, 'Y', 'N', 'N'),"
            "(8, 'Kancelarija', '00:13', '198.18.0.8', '198.18.0.8', 4003, 5003, 0, 'Y', NULL, 'N', 'N', 'N')");
    }

    selvo::test::TestDatabase Db;
    TTavrinReserveGuestDM Dm;

private:
    std::map<unsigned long, size_t> m_seen;
};

} // namespace selvo::data::test
