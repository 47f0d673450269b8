// A session that the server has ended (KILL CONNECTION, a restart, the server down for good): noticed
// before the next statement and replaced, never a statement sent twice, the key read-back never in
// another session than its INSERT.
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <stop_token>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "DataModuleFixture.h"
#include "PrivateServer.h"

namespace selvo::data::test {
namespace {

using selvo::test::LineEnds;
using ::testing::AnyOf;
using ::testing::StartsWith;
using Strings = std::vector<std::string>;

bool IsShow(const std::string& statement)
{
    return statement.rfind("SHOW ", 0) == 0;
}

Strings Without(const Strings& statements, const std::function<bool(const std::string&)>& drop)
{
    Strings kept;
    for (const auto& statement : statements) {
        if (!drop(statement)) {
            kept.push_back(statement);
        }
    }
    return kept;
}

class ReconnectTest : public DataModuleFixture
{
protected:
    // Ends the module's session from another one, as an administrator's KILL CONNECTION does.
    unsigned long KillSession()
    {
        const unsigned long thread = Dm.ZConnection.ThreadId();
        Db.KillConnection(thread);
        return thread;
    }

    // Everything the module's present session has sent (trailing CR LF dropped).
    Strings SessionStatements() { return Db.StatementsOf(Dm.ZConnection.ThreadId(), LineEnds::Drop); }
};

struct Beginning
{
    const char* Name;
    std::function<void(TTavrinReserveGuestDM&)> Run;
    const char* Statement;        // the one statement sent (start of it)
    std::size_t DescriptionReads; // SHOW statements: the tables of a query opened anew, once each
};

TEST_F(ReconnectTest, EveryWayAnActionBeginsGoesOnInANewSessionAfterAKill)
{
    SeedCards();
    const Beginning beginnings[] = {
        {"list refresh", [](TTavrinReserveGuestDM& dm) { dm.SpareCardZQ.Refresh(); }, "SELECT ec.* ", 6},
        {"query opening", [](TTavrinReserveGuestDM& dm) { dm.TimerAccessPointZQ.Open(); }, "SELECT ", 3},
        {"posted row",
         [](TTavrinReserveGuestDM& dm) {
             dm.SpareCardZQ.First();
             dm.SpareCardZQ.Edit();
             dm.SpareCardZQemployeeid.SetAsInteger(12);
             dm.SpareCardZQ.Post();
         },
         "UPDATE employeecard SET employeeid=12 WHERE employeecardid=5", 0},
        {"ad hoc statement",
         [](TTavrinReserveGuestDM& dm) {
             dm.UpdateZQ.SetSQL("UPDATE employeecard SET comment = 'GOST 4' WHERE employeecardid = 7");
             dm.UpdateZQ.ExecSQL();
         },
         "UPDATE employeecard SET comment = 'GOST 4' WHERE employeecardid = 7", 0},
    };
    for (const auto& beginning : beginnings) {
        SCOPED_TRACE(beginning.Name);
        Dm.TimerAccessPointZQ.Close();
        OpenSpareList();
        const std::uint64_t session = Dm.ZConnection.Session();
        const unsigned long killed = KillSession();

        ASSERT_NO_THROW(beginning.Run(Dm));

        EXPECT_NE(Dm.ZConnection.ThreadId(), killed);
        EXPECT_EQ(Dm.ZConnection.Session(), session + 1);
        const Strings sent = SessionStatements();
        const Strings statements = Without(sent, IsShow);
        ASSERT_EQ(statements.size(), 1U) << ::testing::PrintToString(sent);
        EXPECT_THAT(statements[0], StartsWith(beginning.Statement));
        const Strings shows = Without(sent, [](const std::string& s) { return !IsShow(s); });
        EXPECT_EQ(shows.size(), beginning.DescriptionReads);
        EXPECT_EQ(std::set<std::string>(shows.begin(), shows.end()).size(), shows.size()) << "each table once";
        EXPECT_TRUE(Dm.SpareCardZQ.Active());
        EXPECT_EQ(Dm.SpareCardZQ.RecordCount(), 2);
    }
    EXPECT_EQ(Db.Scalar("SELECT employeeid FROM employeecard WHERE employeecardid = 5"), "12");
    EXPECT_EQ(Db.Scalar("SELECT comment FROM employeecard WHERE employeecardid = 7"), "GOST 4");
}

// The server ends a session idle for longer than wait_timeout (a long lunch break at the desk).
TEST_F(ReconnectTest, ASessionIdleBeyondWaitTimeoutIsReplacedBeforeTheNextStatement)
{
    SeedCards();
    Dm.UpdateZQ.SetSQL("SET SESSION wait_timeout = 1");
    Dm.UpdateZQ.ExecSQL();
    const unsigned long idle = Dm.ZConnection.ThreadId();
    bool ended = false;
    for (int i = 0; i < 1000 && !ended; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ended =
            Db.Scalar("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + std::to_string(idle)) == "0";
    }
    ASSERT_TRUE(ended);

    Dm.TimerAccessPointZQ.Open();

    EXPECT_NE(Dm.ZConnection.ThreadId(), idle);
    EXPECT_EQ(Dm.TimerAccessPointZQ.RecordCount(), 3);
}

// The open list's stored rows and table descriptions outlive the session that read them; a new session
// reads the descriptions again for a query it opens, once.
TEST_F(ReconnectTest, AnOpenListKeepsItsRowsAndItsPendingEditAcrossTheNewSession)
{
    SeedCards();
    OpenSpareList();
    Dm.SpareCardZQ.Last();
    Dm.SpareCardZQ.Edit();
    Dm.SpareCardZQcomment.SetAsString("REZERVNA 2");
    KillSession();

    Dm.TimerAccessPointZQ.Open();
    Dm.TimerAccessPointZQ.Close();
    Dm.TimerAccessPointZQ.Open();
    Dm.SpareCardZQ.Post();

    EXPECT_EQ(Db.Scalar("SELECT comment FROM employeecard WHERE employeecardid = 6"), "REZERVNA 2");
    const Strings sent = SessionStatements();
    EXPECT_EQ(Without(sent, [](const std::string& s) { return !IsShow(s); }).size(), 3U)
        << "timeraccesspoint described once: " << ::testing::PrintToString(sent);
    EXPECT_EQ(sent.back(), "UPDATE employeecard SET comment='REZERVNA 2' WHERE employeecardid=6");
    EXPECT_EQ(Dm.SpareCardZQ.CellText(0, Dm.SpareCardZQname), "R05");
    EXPECT_EQ(Dm.SpareCardZQ.CellText(1, Dm.SpareCardZQename), "Jovic Marko");
    Dm.SpareCardZQ.First();
    EXPECT_EQ(Dm.SpareCardZQcardcode.AsInteger(), 100005);
    // The stored result made by the ended session is freed after its handle (AddressSanitizer watches).
    Dm.SpareCardZQ.Close();
    Dm.ZConnection.Disconnect();
    EXPECT_FALSE(Dm.TimerAccessPointZQ.Active());
}

// The statement reached the server, then the session ended under it: its outcome is unknown to the
// program, so it fails with the library's text and is not sent again in a new session.
TEST_F(ReconnectTest, AStatementWhoseSessionEndsAfterItWasSentFailsAndIsNotSentAgain)
{
    SeedCards();
    Dm.ZConnection.Connect();
    const unsigned long thread = Dm.ZConnection.ThreadId();
    const std::uint64_t session = Dm.ZConnection.Session();
    Db.Exec("LOCK TABLES employeecard WRITE");
    std::string failure;
    std::thread desk([&] {
        failure = FailureOf([&] {
            Dm.UpdateZQ.SetSQL("UPDATE employeecard SET employeeid = 12 WHERE employeecardid = 5");
            Dm.UpdateZQ.ExecSQL();
        });
    });
    bool waiting = false;
    for (int i = 0; i < 500 && !waiting; ++i) {
        auto state = Db.Scalar("SELECT IFNULL(STATE, '') FROM information_schema.PROCESSLIST WHERE ID = " +
                               std::to_string(thread));
        waiting = state && state->find("lock") != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Db.KillConnection(thread);
    desk.join();
    Db.Exec("UNLOCK TABLES");

    EXPECT_TRUE(waiting);
    EXPECT_THAT(failure, AnyOf(StartsWith("SQL Error: Lost connection"), StartsWith("SQL Error: Connection was killed"),
                               StartsWith("SQL Error: Server has gone away")));
    EXPECT_EQ(Dm.ZConnection.Session(), session) << "no new session during the failed statement";

    Dm.UpdateZQ.SetSQL("UPDATE employeecard SET comment = 'GOST 4' WHERE employeecardid = 7");
    Dm.UpdateZQ.ExecSQL();
    EXPECT_EQ(SessionStatements(), Strings{"UPDATE employeecard SET comment = 'GOST 4' WHERE employeecardid = 7"});
    EXPECT_EQ(Db.Scalar("SELECT IFNULL(employeeid, 0) FROM employeecard WHERE employeecardid = 5"), "0");
    EXPECT_EQ(Db.Scalar("SELECT COUNT(*) FROM mysql.general_log WHERE argument LIKE "
                        "'UPDATE employeecard SET employeeid = 12 WHERE employeecardid = 5%' AND thread_id IN (" +
                        std::to_string(thread) + "," + std::to_string(Dm.ZConnection.ThreadId()) + ")"),
              "1");
}

// A TCP relay between the data module and the server that ends the session right after the server
// has answered a chosen statement: the answer and the end of the stream leave in one segment, so the
// program has both when it reads the answer, as if the server had gone away at that moment.
class CuttingRelay final
{
public:
    explicit CuttingRelay(int serverPort) : m_serverPort(serverPort)
    {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_listener, 4) != 0) {
            throw std::runtime_error("cannot listen for the relay");
        }
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
    }

    ~CuttingRelay()
    {
        m_thread.request_stop();
        m_thread.join();
        for (const Pair& pair : m_pairs) {
            close(pair.Client);
            close(pair.Server);
        }
        close(m_listener);
    }

    CuttingRelay(const CuttingRelay&) = delete;
    CuttingRelay& operator=(const CuttingRelay&) = delete;

    int Port() const { return m_port; }

    // Ends the session that sends the next statement beginning with `prefix`, after its answer.
    void CutAfterAnswerTo(std::string prefix)
    {
        std::lock_guard lock(m_mutex);
        m_prefix = std::move(prefix);
    }

private:
    struct Pair
    {
        int Client = -1;
        int Server = -1;
        bool CutAfterAnswer = false;
    };

    static bool SendAll(int fd, const char* data, std::size_t size)
    {
        while (size > 0) {
            ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
        return true;
    }

    void Accept()
    {
        Pair pair;
        pair.Client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        pair.Server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(m_serverPort));
        if (connect(pair.Server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(pair.Client);
            close(pair.Server);
            return;
        }
        m_pairs.push_back(pair);
    }

    // False when the pair is over.
    bool Pass(Pair& pair, bool fromClient)
    {
        char buffer[65536];
        ssize_t got = recv(fromClient ? pair.Client : pair.Server, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return false;
        }
        const auto size = static_cast<std::size_t>(got);
        if (fromClient) {
            std::lock_guard lock(m_mutex);
            // A COM_QUERY packet: 3 bytes length, 1 byte sequence, command 3, the text.
            if (!m_prefix.empty() && size > 4 && buffer[4] == 3 &&
                std::string_view(buffer + 5, size - 5).rfind(m_prefix, 0) == 0) {
                pair.CutAfterAnswer = true;
                m_prefix.clear();
            }
            return SendAll(pair.Server, buffer, size);
        }
        if (!pair.CutAfterAnswer) {
            return SendAll(pair.Client, buffer, size);
        }
        int on = 1;
        setsockopt(pair.Client, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
        SendAll(pair.Client, buffer, size);
        return false; // closing the corked socket sends the answer and the end together
    }

    void Run(const std::stop_token& stop)
    {
        while (!stop.stop_requested()) {
            std::vector<pollfd> fds{{m_listener, POLLIN, 0}};
            for (const Pair& pair : m_pairs) {
                fds.push_back({pair.Client, POLLIN, 0});
                fds.push_back({pair.Server, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), 20) <= 0) {
                continue;
            }
            for (std::size_t i = m_pairs.size(); i-- > 0;) {
                const short client = fds[1 + 2 * i].revents;
                const short server = fds[2 + 2 * i].revents;
                bool alive = true;
                if (client != 0) {
                    alive = Pass(m_pairs[i], true);
                }
                if (alive && server != 0) {
                    alive = Pass(m_pairs[i], false);
                }
                if (!alive) {
                    close(m_pairs[i].Client);
                    close(m_pairs[i].Server);
                    m_pairs.erase(m_pairs.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }
            if ((fds[0].revents & POLLIN) != 0) {
                Accept();
            }
        }
    }

    int m_serverPort;
    int m_listener = -1;
    int m_port = 0;
    std::mutex m_mutex;
    std::string m_prefix;
    std::vector<Pair> m_pairs; // relay thread only
    std::jthread m_thread;
};

// LAST_INSERT_ID() of a new session is 0: the visit would get key 0 and its tickets would point at no
// visit. The post fails instead, the row stays written, and the read-back is never sent.
TEST_F(ReconnectTest, AKeyReadBackAfterTheSessionEndedFailsInsteadOfReadingAnotherSessionsKey)
{
    SeedCards();
    CuttingRelay relay(Db.Server().Port);
    Dm.ZConnection.HostName = "127.0.0.1";
    Dm.ZConnection.Port = relay.Port();
    Dm.GuestZQ.Open();
    Dm.GuestZQ.Append();
    Dm.GuestZQlastname.SetAsString("Petrovic");
    Dm.GuestZQfirstname.SetAsString("Ana");
    Dm.GuestZQemployeecardid.SetAsInteger(7);
    const unsigned long insertThread = Dm.ZConnection.ThreadId();
    relay.CutAfterAnswerTo("INSERT INTO timerguest");

    EXPECT_EQ(FailureOf([&] { Dm.GuestZQ.Post(); }), TZConnection::InsertKeyLostText);

    EXPECT_EQ(Db.Scalar("SELECT COUNT(*) FROM timerguest WHERE lastname = 'Petrovic'"), "1") << "written once";
    const Strings insertSession = Db.StatementsOf(insertThread, LineEnds::Drop);
    ASSERT_FALSE(insertSession.empty());
    EXPECT_THAT(insertSession.back(), StartsWith("INSERT INTO timerguest"));
    EXPECT_NE(Dm.ZConnection.ThreadId(), insertThread) << "the ended session was replaced";
    EXPECT_EQ(Db.Scalar("SELECT COUNT(*) FROM mysql.general_log WHERE argument LIKE 'SELECT LAST_INSERT_ID()%' AND "
                        "thread_id = " +
                        std::to_string(Dm.ZConnection.ThreadId())),
              "0");
    EXPECT_EQ(Dm.GuestZQ.State(), DataSetState::Insert) << "the rows stay as they were";
    Dm.GuestZQ.Cancel();
    // The next statement works in the new session.
    Dm.UpdateZQ.SetSQL("UPDATE timerguest SET regcode = 'AB1' WHERE lastname = 'Petrovic'");
    Dm.UpdateZQ.ExecSQL();
    EXPECT_EQ(Db.Scalar("SELECT regcode FROM timerguest"), "AB1");
}

// A server of the test's own, stopped and started on the same port and data folder.
class ServerRestartTest : public ::testing::Test
{
protected:
    ServerRestartTest()
    {
        Db.Configure(Dm.ZConnection);
        Db.Exec("INSERT INTO employeecard (employeecardid, cardcode, name, active, comment) VALUES "
                "(5, 100005, 'R05', 'Y', 'REZERVNA'), (6, 100006, 'R06', 'Y', 'REZERVNA')");
        Dm.SpareCardZQ.SetSQL(std::string(SpareCardListSql));
        Dm.SpareCardZQ.Open();
    }

    // The server's statements from a session, after a restart began the log anew.
    Strings StatementsOf(unsigned long thread) { return Db.StatementsOf(thread, LineEnds::Drop); }

    // Restarting renumbers the sessions: the log of the earlier run goes.
    void AfterRestart()
    {
        Db.Reconnect();
        Db.Exec("TRUNCATE TABLE mysql.general_log");
    }

    selvo::test::PrivateServer Server;
    selvo::test::TestDatabase Db{Server.Address(), selvo::test::TestDatabase::UniqueName()};
    TTavrinReserveGuestDM Dm;
};

TEST_F(ServerRestartTest, TheFirstStatementAfterARestartGoesOnInANewSession)
{
    const std::uint64_t session = Dm.ZConnection.Session();
    Server.Restart();
    AfterRestart();

    Dm.UpdateZQ.SetSQL("UPDATE employeecard SET comment = 'REZERVNA 1' WHERE employeecardid = 5");
    Dm.UpdateZQ.ExecSQL();
    Dm.SpareCardZQ.Refresh();

    EXPECT_EQ(Dm.ZConnection.Session(), session + 1);
    EXPECT_EQ(Db.Scalar("SELECT comment FROM employeecard WHERE employeecardid = 5"), "REZERVNA 1");
    const Strings sent = Without(StatementsOf(Dm.ZConnection.ThreadId()), IsShow);
    ASSERT_EQ(sent.size(), 2U) << ::testing::PrintToString(sent);
    EXPECT_EQ(sent[0], "UPDATE employeecard SET comment = 'REZERVNA 1' WHERE employeecardid = 5");
    EXPECT_THAT(sent[1], StartsWith("SELECT ec.* "));
    Dm.SpareCardZQ.First();
    EXPECT_EQ(Dm.SpareCardZQcomment.AsString(), "REZERVNA 1");
}

// Each action while the server is down fails at once with the library's text for a server that
// cannot be reached, without retrying; once it is back the next action works.
TEST_F(ServerRestartTest, WhileTheServerIsDownEachStatementFailsWithTheConnectErrorThenWorksAgain)
{
    Dm.UpdateZQ.SetSQL("UPDATE employeecard SET comment = 'REZERVNA 1' WHERE employeecardid = 5");
    const std::pair<const char*, std::function<void()>> attempts[] = {
        {"list refresh", [this] { Dm.SpareCardZQ.Refresh(); }},
        {"ad hoc statement", [this] { Dm.UpdateZQ.ExecSQL(); }},
        {"query opening", [this] { Dm.SpareCardZQ.Open(); }},
    };
    Server.Stop();
    for (const auto& [name, attempt] : attempts) {
        SCOPED_TRACE(name);
        std::string failure = "no failure";
        try {
            attempt();
        } catch (const DatabaseError& error) {
            failure = error.what();
            EXPECT_NE(error.ErrorCode(), 0U);
        }
        EXPECT_THAT(failure, StartsWith("SQL Error: Can't connect to server on '127.0.0.1'"));
        EXPECT_FALSE(Dm.ZConnection.Connected());
    }

    Server.Start();
    AfterRestart();
    Dm.UpdateZQ.ExecSQL();
    Dm.SpareCardZQ.Open();

    EXPECT_TRUE(Dm.ZConnection.Connected());
    EXPECT_EQ(Db.Scalar("SELECT comment FROM employeecard WHERE employeecardid = 5"), "REZERVNA 1");
    EXPECT_EQ(Dm.SpareCardZQ.RecordCount(), 2);
}

} // namespace
} // namespace selvo::data::test
