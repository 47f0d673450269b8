#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "DataModuleFixture.h"
#include "DoorHosts.h"

namespace selvo::data::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// A loopback TCP port on which nothing listens.
int ClosedPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

class ConnectionTest : public DataModuleFixture
{
};

constexpr unsigned AnyErrorNumber = ~0u;

struct LoginFailure
{
    const char* Name;
    std::function<void(TZConnection&)> Spoil;
    const char* TextStart;
    unsigned ErrorCode;
};

TEST_F(ConnectionTest, FailedLoginsRaiseTheClientsTextAndLeaveTheConnectionClosed)
{
    const LoginFailure failures[] = {
        {"wrong password", [](TZConnection& c) { c.Password = "not-the-password"; },
         "SQL Error: Access denied for user 'selvo'@'127.0.0.1' (using password: YES)", 1045},
        {"closed port", [](TZConnection& c) { c.Port = ClosedPort(); },
         "SQL Error: Can't connect to server on '127.0.0.1'", AnyErrorNumber},
        {"unknown database", [](TZConnection& c) { c.Database = "no_such_database"; },
         "SQL Error: Unknown database 'no_such_database'", 1049},
        {"negative port", [](TZConnection& c) { c.Port = -1; }, "Range check error", 0},
        // Taken modulo 65536 it would be the server's own port.
        {"port above 65535", [](TZConnection& c) { c.Port += 65536; }, "Range check error", 0},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.Name);
        TTavrinReserveGuestDM dm;
        dm.ZConnection.HostName = Dm.ZConnection.HostName;
        dm.ZConnection.Port = Dm.ZConnection.Port;
        dm.ZConnection.Database = Dm.ZConnection.Database;
        dm.ZConnection.User = Dm.ZConnection.User;
        dm.ZConnection.Password = Dm.ZConnection.Password;
        failure.Spoil(dm.ZConnection);
        try {
            dm.ZConnection.Connect();
            ADD_FAILURE() << "connected";
        } catch (const DatabaseError& error) {
            EXPECT_THAT(error.what(), StartsWith(failure.TextStart));
            if (failure.ErrorCode == AnyErrorNumber) {
                EXPECT_NE(error.ErrorCode(), 0u);
            } else {
                EXPECT_EQ(error.ErrorCode(), failure.ErrorCode);
            }
        }
        EXPECT_FALSE(dm.ZConnection.Connected());
        EXPECT_EQ(dm.ZConnection.ThreadId(), 0u);
    }
}

// Port 0 logs in on 3306: a listener there sees the attempt (and hangs up at once). The machine's own
// 127.0.0.1:3306 may well hold a database service, so the check runs in a network namespace of its
// own (a thread's sockets, the client library's too, live in that thread's namespace), where nothing
// else listens and every other port refuses at once.
TEST_F(ConnectionTest, PortZeroMeansTheDefaultPort)
{
    std::string unavailable;
    std::string setupError;
    bool accepted = false;
    bool refused = false;
    std::thread inside([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            unavailable = std::string("no network namespace of its own: ") + std::strerror(errno);
            return;
        }
        const auto fail = [&](const char* what) { setupError = std::string(what) + ": " + std::strerror(errno); };
        // A fresh namespace's loopback is down.
        const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq loopback{};
        std::strncpy(loopback.ifr_name, "lo", IFNAMSIZ - 1);
        if (control < 0 || ::ioctl(control, SIOCGIFFLAGS, &loopback) != 0) {
            fail("reading the loopback's flags");
            return;
        }
        loopback.ifr_flags = static_cast<short>(loopback.ifr_flags | IFF_UP);
        const int up = ::ioctl(control, SIOCSIFFLAGS, &loopback);
        ::close(control);
        if (up != 0) {
            fail("bringing the loopback up");
            return;
        }
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(3306);
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 1) != 0) {
            fail("listening on 127.0.0.1:3306 in the namespace");
            ::close(listener);
            return;
        }
        // Closing the listener after the wait also resets a connection it never accepted, so the
        // client cannot wait for a greeting forever either.
        std::thread server([&] {
            pollfd ready{listener, POLLIN, 0};
            if (::poll(&ready, 1, 10000) == 1) {
                const int client = ::accept(listener, nullptr, nullptr);
                if (client >= 0) {
                    accepted = true;
                    ::close(client);
                }
            }
            ::close(listener);
        });
        Dm.ZConnection.HostName = "127.0.0.1";
        Dm.ZConnection.Port = 0;
        try {
            Dm.ZConnection.Connect();
        } catch (const DatabaseError&) {
            refused = true;
        }
        server.join();
    });
    inside.join();
    if (!unavailable.empty()) {
        if (selvo::device::test::InCi()) {
            FAIL() << unavailable << " (CI runs as root)";
        }
        GTEST_SKIP() << unavailable << " (it needs root)";
    }
    ASSERT_EQ(setupError, "");
    EXPECT_TRUE(accepted) << "nothing came to 127.0.0.1:3306";
    EXPECT_TRUE(refused) << "the login succeeded against a listener that hung up";
    EXPECT_FALSE(Dm.ZConnection.Connected());
}

TEST_F(ConnectionTest, ConnectSendsNoStatementAndASecondConnectKeepsTheSession)
{
    Dm.ZConnection.Connect();
    ASSERT_TRUE(Dm.ZConnection.Connected());
    unsigned long thread = Dm.ZConnection.ThreadId();
    EXPECT_NE(thread, 0u);
    Dm.ZConnection.Connect();
    EXPECT_EQ(Dm.ZConnection.ThreadId(), thread);
    EXPECT_TRUE(Sent().empty());
    // Autocommit, isolation level and character set are the session's own from the login on.
    EXPECT_EQ(Db.Scalar("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + std::to_string(thread)),
              "1");
}

TEST_F(ConnectionTest, OpeningAQueryConnectsWithTheSettings)
{
    ASSERT_FALSE(Dm.ZConnection.Connected());
    Dm.TimerAccessPointZQ.Open();
    EXPECT_TRUE(Dm.ZConnection.Connected());
    EXPECT_TRUE(Dm.TimerAccessPointZQ.Active());
}

TEST_F(ConnectionTest, ExecutingAStatementConnectsAndAFailedConnectIsTheStatementsFailure)
{
    Dm.UpdateZQ.SetSQL("UPDATE employeecard SET employeeid = NULL WHERE employeecardid = 1");
    Dm.UpdateZQ.ExecSQL();
    EXPECT_TRUE(Dm.ZConnection.Connected());

    TTavrinReserveGuestDM other;
    other.ZConnection.HostName = "127.0.0.1";
    other.ZConnection.Port = ClosedPort();
    other.UpdateZQ.SetSQL("UPDATE employeecard SET employeeid = NULL WHERE employeecardid = 1");
    EXPECT_THROW(
        {
            try {
                other.UpdateZQ.ExecSQL();
            } catch (const DatabaseError& error) {
                EXPECT_THAT(error.what(), StartsWith("SQL Error: Can't connect to server"));
                throw;
            }
        },
        DatabaseError);
    EXPECT_FALSE(other.ZConnection.Connected());
}

TEST_F(ConnectionTest, DisconnectClosesEveryOpenQueryFirst)
{
    SeedCards();
    Dm.SpareCardZQ.SetSQL(std::string(SpareCardListSql));
    Dm.SpareCardZQ.Open();
    Dm.TimerAccessPointZQ.Open();
    Dm.SpareCardZQ.Edit();
    Dm.SpareCardZQemployeeid.SetAsInteger(12);
    Dm.ZConnection.Disconnect();
    EXPECT_FALSE(Dm.ZConnection.Connected());
    EXPECT_FALSE(Dm.SpareCardZQ.Active());
    EXPECT_FALSE(Dm.TimerAccessPointZQ.Active());
    // The unposted change is dropped, not written.
    EXPECT_EQ(Db.Scalar("SELECT employeeid FROM employeecard WHERE employeecardid = 5"), std::nullopt);
    // A closed query reads every field as null.
    EXPECT_TRUE(Dm.SpareCardZQemployeecardid.IsNull());
    EXPECT_EQ(Dm.SpareCardZQemployeecardid.AsInteger(), 0);
    EXPECT_EQ(Dm.SpareCardZQname.AsString(), "");
    EXPECT_FALSE(Dm.SpareCardZQactive.AsBoolean());
}

TEST_F(ConnectionTest, EscapingUsesTheClientLibrary)
{
    EXPECT_EQ(Dm.ZConnection.EscapeString("O'Brien \\ \"x\"\n"), "O\\'Brien \\\\ \\\"x\\\"\\n");
    EXPECT_EQ(Dm.ZConnection.Literal(std::string("a\0b\x1a", 4)), "'a\\0b\\Z'");
    EXPECT_EQ(Dm.ZConnection.EscapeString("\x9a\xe8"), "\x9a\xe8");
}

// The Serbian letters as Windows-1250 bytes: č ć š ž đ Č Ć Š Ž Đ.
const std::string SerbianLetters = "\xe8\xe6\x9a\x9e\xf0\xc8\xc6\x8a\x8e\xd0";

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 15]);
    }
    return hex;
}

TEST_F(ConnectionTest, SerbianLettersTravelByteForByteThroughAPostAndAnAdHocStatement)
{
    SeedCards();
    Dm.GuestZQ.Open();
    Dm.GuestZQ.Append();
    Dm.GuestZQlastname.SetAsString(SerbianLetters);
    Dm.GuestZQfirstname.SetAsString("\xd0or\xf0"
                                    "e");
    Dm.GuestZQdescription.SetAsString("opis " + SerbianLetters);
    Dm.GuestZQemployeecardid.SetAsInteger(7);
    Dm.GuestZQ.Post();
    const std::string id = Dm.GuestZQtimerguestid.AsString();

    Dm.UpdateZQ.SetSQL("UPDATE timerguest SET regcode = '" + SerbianLetters + "' WHERE timerguestid = " + id);
    Dm.UpdateZQ.ExecSQL();

    EXPECT_EQ(Db.Scalar("SELECT HEX(lastname) FROM timerguest WHERE timerguestid = " + id), Hex(SerbianLetters));
    EXPECT_EQ(Db.Scalar("SELECT HEX(firstname) FROM timerguest WHERE timerguestid = " + id), "D06F72F065");
    EXPECT_EQ(Db.Scalar("SELECT HEX(regcode) FROM timerguest WHERE timerguestid = " + id), Hex(SerbianLetters));

    Dm.GuestZQ.SetSQL("SELECT * FROM timerguest WHERE timerguestid = " + id);
    Dm.GuestZQ.Open();
    EXPECT_EQ(Dm.GuestZQlastname.AsString(), SerbianLetters);
    EXPECT_EQ(Dm.GuestZQregcode.AsString(), SerbianLetters);
    EXPECT_EQ(Dm.GuestZQdescription.AsString(), "opis " + SerbianLetters);
}

} // namespace
} // namespace selvo::data::test
