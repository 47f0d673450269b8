#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include <gtest/gtest.h>

namespace selvo::device::test {

// A test host made by tests/device/door-hosts: a network namespace behind a veth pair.
struct DoorHost
{
    std::string Namespace;
    std::string HostAddress; // this side of the pair: the tool's own address on that link
    std::string DoorAddress; // inside the namespace: where a simulated access point listens
};

// The door hosts of this run (SELVO_DOOR_HOSTS names the fixture's state file), or why there are none.
struct DoorHosts
{
    std::vector<DoorHost> Hosts;
    std::string Unavailable;
};
DoorHosts ReadDoorHosts();

// In CI the door hosts must exist; elsewhere their absence skips the test, saying why.
#define SELVO_REQUIRE_DOOR_HOSTS(hosts, count)                                                                         \
    do {                                                                                                               \
        const auto selvoDoorHosts = ::selvo::device::test::ReadDoorHosts();                                            \
        std::string selvoWhy = selvoDoorHosts.Unavailable;                                                             \
        if (selvoWhy.empty() && selvoDoorHosts.Hosts.size() < (count)) {                                               \
            selvoWhy = "the door hosts fixture made fewer hosts than the test needs";                                  \
        }                                                                                                              \
        if (!selvoWhy.empty()) {                                                                                       \
            if (::selvo::device::test::InCi()) {                                                                       \
                FAIL() << "door hosts unavailable in CI: " << selvoWhy;                                                \
            }                                                                                                          \
            GTEST_SKIP() << "door hosts unavailable: " << selvoWhy;                                                    \
        }                                                                                                              \
        (hosts) = selvoDoorHosts.Hosts;                                                                                \
    } while (false)

bool InCi();

// A UDP port nothing on this host is bound to right now (on any address).
std::uint16_t FreeUdpPort();
// `count` different such ports.
std::vector<std::uint16_t> FreeUdpPorts(std::size_t count);

// One frame as the simulated access point logged it.
struct SimFrame
{
    double Time = 0; // seconds since the epoch
    std::string FromAddress;
    int FromPort = 0;
    int Bytes = 0;
    std::string Command;
    std::string Status;
    bool CrcOk = false;
    std::uint32_t Ticket = 0;
    std::uint32_t Card = 0;
    int Enable = -1;
};

// access-point-sim running inside a door host's namespace; stopped (SIGTERM) and its log removed on
// destruction. The log's folder is made in the temporary folder ($TMPDIR, else /tmp).
class SimulatedAccessPoint final
{
public:
    SimulatedAccessPoint(const DoorHost& host, std::uint16_t port, const std::string& mode, int delayMs = 0);
    SimulatedAccessPoint(const SimulatedAccessPoint&) = delete;
    SimulatedAccessPoint& operator=(const SimulatedAccessPoint&) = delete;
    ~SimulatedAccessPoint();

    // Waits until at least `count` frames have been logged (or the timeout passed), then returns all.
    std::vector<SimFrame> Frames(std::size_t count = 0,
                                 std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) const;
    // The frames logged with a right checksum, waiting until `count` of them have come (or the timeout passed).
    std::size_t IntactFrames(std::size_t count,
                             std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) const;
    const std::string& Log() const { return m_logText; }
    std::string ReadLog() const;

private:
    std::string m_dir;
    std::string m_logPath;
    mutable std::string m_logText;
    pid_t m_pid = -1;
};

} // namespace selvo::device::test
