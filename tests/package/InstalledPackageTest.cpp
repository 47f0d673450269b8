// The installed package at work: the program started the way the package offers it (the desktop
// entry's command on the PATH) in the temporary root that package-check installed it into, against
// the test server. The settings come the way the package arranges them: through the link beside the
// program to /etc/tavrin-selvo/Selvo.ini, or, while that file is missing, from the main product's
// settings that /etc/tavrin-selvo/registry.ini leads to.
#include "TavrinReserveGuestDM.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace selvo::test {
namespace {

std::filesystem::path PackageRoot()
{
    const char* root = std::getenv("SELVO_PACKAGE_ROOT");
    if (root == nullptr) {
        throw std::runtime_error("SELVO_PACKAGE_ROOT is not set");
    }
    return root;
}

void WriteFile(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The stored form of a password in Selvo.ini: each byte plus 5.
std::string StoredPassword(const std::string& clear)
{
    std::string stored;
    std::transform(clear.begin(), clear.end(), std::back_inserter(stored),
                   [](char c) { return static_cast<char>(static_cast<unsigned char>(c) + 5U); });
    return stored;
}

// The command the desktop entry starts.
std::string DesktopCommand()
{
    std::ifstream entry(PackageRoot() / "usr/share/applications/tavrin-selvo.desktop");
    std::string line;
    while (std::getline(entry, line)) {
        if (line.rfind("Exec=", 0) == 0) {
            return line.substr(5);
        }
    }
    throw std::runtime_error("the desktop entry has no Exec line");
}

// The installed program, started by its command in the package root (tests/package/in-package-root)
// on the offscreen platform, and ended again.
class InstalledProgram final
{
public:
    explicit InstalledProgram(const std::string& command)
    {
        std::vector<std::string> args = {SELVO_IN_PACKAGE_ROOT, PackageRoot().string(), command};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            throw std::runtime_error("cannot start " + command);
        }
    }
    ~InstalledProgram()
    {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, &status, 0);
        }
    }
    InstalledProgram(const InstalledProgram&) = delete;
    InstalledProgram& operator=(const InstalledProgram&) = delete;

    bool Running() const
    {
        int status = 0;
        return ::waitpid(m_pid, &status, WNOHANG) == 0;
    }

private:
    pid_t m_pid = -1;
};

struct Login
{
    unsigned long Thread = 0;
    std::string Argument; // user@host on database ...
};

// Waits until a connection to the database has run both list texts; gives its login.
Login AwaitBothLists(TestDatabase& db, const InstalledProgram& program)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline && program.Running()) {
        for (auto& row : db.Query("SELECT thread_id, argument FROM mysql.general_log WHERE command_type = 'Connect' "
                                  "AND argument LIKE '% on " +
                                  db.Name() + " %'")) {
            const Login login{std::stoul(row[0].value_or("0")), row[1].value_or("")};
            const auto statements = db.StatementsOf(login.Thread, LineEnds::Drop);
            const auto has = [&](std::string_view text) {
                return std::find(statements.begin(), statements.end(), text) != statements.end();
            };
            if (has(data::SpareCardListSql) && has(data::GuestCardListSql)) {
                return login;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    throw std::runtime_error(program.Running() ? "no connection ran both list texts within 60 s"
                                               : "the program ended before both lists were open");
}

// The administrator's folder of the package root, emptied again after each test.
class InstalledPackage : public testing::Test
{
protected:
    std::filesystem::path Etc() const { return PackageRoot() / "etc/tavrin-selvo"; }
    void SetUp() override
    {
        // As package-check: without root there is no package root and no mount namespace; CI must run it.
        const char* ci = std::getenv("CI");
        if (::geteuid() != 0 && (ci == nullptr || std::string_view(ci) != "true")) {
            GTEST_SKIP() << "the installed package runs only as root (dpkg --root, mount namespaces)";
        }
    }
    void TearDown() override
    {
        for (const char* name : {"Selvo.ini", "registry.ini", "drives"}) {
            std::filesystem::remove_all(Etc() / name);
        }
    }
};

TEST_F(InstalledPackage, CommandReadsSettingsFromEtcAndOpensBothLists)
{
    TestDatabase db;
    const ServerAddress& server = db.Server();
    ASSERT_EQ(DesktopCommand(), "tavrin-selvo");
    WriteFile(Etc() / "Selvo.ini", "[Database]\r\nHostName=" + server.Host + "\r\nDatabaseName=" + db.Name() +
                                       "\r\nPort=" + std::to_string(server.Port) + "\r\nUsername=" + server.User +
                                       "\r\nPassword=" + StoredPassword(server.Password) + "\r\n");

    const InstalledProgram program(DesktopCommand());
    const Login login = AwaitBothLists(db, program);

    EXPECT_EQ(login.Argument.rfind(server.User + "@", 0), 0U) << login.Argument;
}

// Without Selvo.ini the link beside the program leads nowhere, which counts as no settings file of
// its own: the program reads the main product's, as an installation without one does.
TEST_F(InstalledPackage, WithoutSelvoIniTheProductSettingsAreRead)
{
    TestDatabase db;
    const ServerAddress& server = db.Server();
    // The product's settings carry no password, and the program logs in without one.
    const std::string user = "selvo_pkg";
    db.Exec("CREATE OR REPLACE USER '" + user + "'@'127.0.0.1' IDENTIFIED BY ''; GRANT ALL ON " + db.Name() +
            ".* TO '" + user + "'@'127.0.0.1'");
    WriteFile(Etc() / "registry.ini", "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavrin BextA_is1]\r\n"
                                      "InstallLocation=REG_SZ:D:\\BextA\\\r\n");
    WriteFile(Etc() / "drives/d/BextA/bexta.ini",
              "[Security]\r\nHostName=" + server.Host + "\r\nDatabase=" + db.Name() +
                  "\r\nPort=" + std::to_string(server.Port) + "\r\nUsername=" + user + "\r\n");
    ASSERT_FALSE(std::filesystem::exists(Etc() / "Selvo.ini"));

    Login login;
    {
        const InstalledProgram program(DesktopCommand());
        login = AwaitBothLists(db, program);
    }
    db.Exec("DROP USER '" + user + "'@'127.0.0.1'");

    EXPECT_EQ(login.Argument.rfind(user + "@", 0), 0U) << login.Argument;
}

} // namespace
} // namespace selvo::test
