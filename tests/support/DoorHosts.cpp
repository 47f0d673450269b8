#include "DoorHosts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace selvo::device::test {

bool InCi()
{
    const char* ci = std::getenv("CI");
    const std::string value = ci != nullptr ? ci : "";
    return !value.empty() && value != "false" && value != "0";
}

DoorHosts ReadDoorHosts()
{
    DoorHosts result;
    const char* path = std::getenv("SELVO_DOOR_HOSTS");
    if (path == nullptr || *path == '\0') {
        result.Unavailable = "SELVO_DOOR_HOSTS is not set (ctest and scripts/bench make the door hosts)";
        return result;
    }
    std::ifstream in(path);
    if (!in) {
        result.Unavailable = std::string("no door hosts state file ") + path + " (did doorhosts_start run?)";
        return result;
    }
    std::string line;
    std::string status;
    std::string reason;
    while (std::getline(in, line)) {
        if (line.rfind("status=", 0) == 0) {
            status = line.substr(7);
        } else if (line.rfind("reason=", 0) == 0) {
            reason = line.substr(7);
        } else if (line.rfind("host=", 0) == 0) {
            std::istringstream fields(line.substr(5));
            DoorHost host;
            fields >> host.Namespace >> host.HostAddress >> host.DoorAddress;
            result.Hosts.push_back(host);
        }
    }
    if (status != "ready") {
        result.Hosts.clear();
        result.Unavailable = reason.empty() ? "door hosts state file says " + status : reason;
    }
    return result;
}

std::uint16_t FreeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket failed");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot find a free UDP port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

std::vector<std::uint16_t> FreeUdpPorts(std::size_t count)
{
    std::vector<std::uint16_t> ports;
    while (ports.size() < count) {
        const std::uint16_t port = FreeUdpPort();
        if (std::find(ports.begin(), ports.end(), port) == ports.end()) {
            ports.push_back(port);
        }
    }
    return ports;
}

SimulatedAccessPoint::SimulatedAccessPoint(const DoorHost& host, std::uint16_t port, const std::string& mode,
                                           int delayMs)
{
    // Under $TMPDIR when it is set: scripts/bench points it into a work folder it removes even after a kill.
    std::string dirTemplate = (std::filesystem::temp_directory_path() / "selvo-sim.XXXXXX").string();
    if (::mkdtemp(dirTemplate.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_dir = dirTemplate;
    m_logPath = m_dir + "/frames.log";

    std::vector<std::string> args = {"ip",
                                     "netns",
                                     "exec",
                                     host.Namespace,
                                     SELVO_ACCESS_POINT_SIM,
                                     "--bind",
                                     host.DoorAddress,
                                     "--port",
                                     std::to_string(port),
                                     "--mode",
                                     mode,
                                     "--delay",
                                     std::to_string(delayMs),
                                     "--log",
                                     m_logPath};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    if (::posix_spawnp(&m_pid, "ip", nullptr, nullptr, argv.data(), environ) != 0) {
        std::filesystem::remove_all(m_dir);
        throw std::runtime_error("cannot start access-point-sim");
    }
    // Ready once it says where it listens.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ReadLog().find("listening=") == std::string::npos) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            std::filesystem::remove_all(m_dir);
            throw std::runtime_error("access-point-sim ended before listening on " + host.DoorAddress + ":" +
                                     std::to_string(port));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            // The destructor does not run for a half-made object: end the simulator and its folder here.
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
            std::filesystem::remove_all(m_dir);
            throw std::runtime_error("access-point-sim did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

SimulatedAccessPoint::~SimulatedAccessPoint()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

std::string SimulatedAccessPoint::ReadLog() const
{
    std::ifstream in(m_logPath);
    std::stringstream text;
    text << in.rdbuf();
    m_logText = text.str();
    return m_logText;
}

namespace {

double ParseTime(const std::string& stamp)
{
    // 2026-03-02T09:15:04.201337Z
    std::tm utc{};
    int micros = 0;
    if (std::sscanf(stamp.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &utc.tm_year, &utc.tm_mon, &utc.tm_mday, &utc.tm_hour,
                    &utc.tm_min, &utc.tm_sec, &micros) != 7) {
        return 0;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return static_cast<double>(::timegm(&utc)) + micros / 1e6;
}

std::vector<SimFrame> ParseFrames(const std::string& log)
{
    std::vector<SimFrame> frames;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find(" from=") == std::string::npos) {
            continue;
        }
        std::istringstream tokens(line);
        std::string token;
        tokens >> token;
        SimFrame frame;
        frame.Time = ParseTime(token);
        while (tokens >> token) {
            const auto eq = token.find('=');
            if (eq == std::string::npos) {
                continue;
            }
            const std::string key = token.substr(0, eq);
            const std::string value = token.substr(eq + 1);
            if (key == "from") {
                const auto colon = value.rfind(':');
                frame.FromAddress = value.substr(0, colon);
                frame.FromPort = std::stoi(value.substr(colon + 1));
            } else if (key == "bytes") {
                frame.Bytes = std::stoi(value);
            } else if (key == "cmd") {
                frame.Command = value;
            } else if (key == "status") {
                frame.Status = value;
            } else if (key == "crc") {
                frame.CrcOk = value == "ok";
            } else if (key == "ticket") {
                frame.Ticket = static_cast<std::uint32_t>(std::stoul(value));
            } else if (key == "card") {
                frame.Card = static_cast<std::uint32_t>(std::stoul(value));
            } else if (key == "enable") {
                frame.Enable = std::stoi(value);
            }
        }
        frames.push_back(frame);
    }
    return frames;
}

} // namespace

std::vector<SimFrame> SimulatedAccessPoint::Frames(std::size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<SimFrame> frames = ParseFrames(ReadLog());
    while (frames.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        frames = ParseFrames(ReadLog());
    }
    return frames;
}

std::size_t SimulatedAccessPoint::IntactFrames(std::size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto intact = [this] {
        const std::vector<SimFrame> frames = ParseFrames(ReadLog());
        return static_cast<std::size_t>(
            std::count_if(frames.begin(), frames.end(), [](const SimFrame& frame) { return frame.CrcOk; }));
    };
    std::size_t seen = intact();
    while (seen < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        seen = intact();
    }
    return seen;
}

} // namespace selvo::device::test
