#include "PrivateServer.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace selvo::test {

namespace {

// Runs the fixture's script with a command and the state file; throws when it fails.
void RunFixture(const std::string& command, const std::string& state)
{
    pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("cannot start " SELVO_FIXTURE_SCRIPT);
    }
    if (child == 0) {
        execl(SELVO_FIXTURE_SCRIPT, SELVO_FIXTURE_SCRIPT, command.c_str(), state.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("mariadb-fixture " + command + " was lost");
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("mariadb-fixture " + command + " failed");
    }
}

} // namespace

PrivateServer::PrivateServer()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "selvo-private.XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder for a private server");
    }
    m_dir = buffer.data();
    m_state = m_dir + "/mariadb.state";
    try {
        RunFixture("start", m_state);
        m_address = ReadServerState(m_state);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
        throw;
    }
}

PrivateServer::~PrivateServer()
{
    try {
        RunFixture("stop", m_state);
    } catch (...) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void PrivateServer::Stop()
{
    RunFixture("halt", m_state);
}

void PrivateServer::Start()
{
    RunFixture("resume", m_state);
}

void PrivateServer::Restart()
{
    Stop();
    Start();
}

} // namespace selvo::test
