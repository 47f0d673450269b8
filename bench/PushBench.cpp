// A ticket push to three all-access points with two tickets each, over real UDP to simulated access
// points in the door hosts (SELVO_DOOR_HOSTS, made by tests/device/door-hosts; needs root), with the
// real ThreadSleeper: the push's wall time against its fixed pace, 2 s x (frames + points) = 18 s.
//
//   push_bench

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "DeviceLink.h"
#include "DoorHosts.h"

namespace {

using namespace selvo::bench;
namespace dev = selvo::device;

constexpr int Points = 3;
constexpr int TicketsPerPoint = 2;

struct Point
{
    std::int64_t Id;
    std::string LocalIp;
    std::int64_t UdpPort;
};

class PointList final : public dev::TimerAccessPointCursor
{
public:
    explicit PointList(std::vector<Point> points) : m_points(std::move(points)) {}
    void First() override { m_row = 0; }
    void Next() override { ++m_row; }
    bool Eof() const override { return m_row >= m_points.size(); }
    std::int64_t TimerAccessPointId() const override { return m_points[m_row].Id; }
    std::string LocalIp() const override { return m_points[m_row].LocalIp; }
    std::int64_t UdpPort() const override { return m_points[m_row].UdpPort; }
    bool AllAccess() const override { return true; }

private:
    std::vector<Point> m_points;
    std::size_t m_row = 0;
};

struct Ticket
{
    std::int64_t Id;
    std::int64_t PointId;
};

class TicketList final : public dev::TimerAccessTicketCursor
{
public:
    explicit TicketList(std::vector<Ticket> tickets) : m_tickets(std::move(tickets)) {}
    void First() override { m_row = 0; }
    void Next() override { ++m_row; }
    bool Eof() const override { return m_row >= m_tickets.size(); }
    std::int64_t TimerAccessTicketId() const override { return m_tickets[m_row].Id; }
    std::int64_t TimerAccessPointId() const override { return m_tickets[m_row].PointId; }
    std::optional<double> EmployeeCardCode() const override { return 1234567.0; }

private:
    std::vector<Ticket> m_tickets;
    std::size_t m_row = 0;
};

class Messages final : public dev::PlainMessage
{
public:
    void ShowMessage(const std::string& text) override { Texts.push_back(text); }
    std::vector<std::string> Texts;
};

} // namespace

int main()
{
    ArmWatchdog(150);
    try {
        const auto [hosts, why] = dev::test::ReadDoorHosts();
        if (hosts.size() < static_cast<std::size_t>(Points)) {
            throw std::runtime_error("three door hosts are needed: " + (why.empty() ? "too few made" : why));
        }
        std::vector<std::unique_ptr<dev::test::SimulatedAccessPoint>> doors;
        std::vector<Point> points;
        std::vector<Ticket> tickets;
        for (int i = 0; i < Points; ++i) {
            const dev::test::DoorHost& host = hosts[static_cast<std::size_t>(i)];
            const std::uint16_t port = dev::test::FreeUdpPort();
            doors.push_back(std::make_unique<dev::test::SimulatedAccessPoint>(host, port, "ok"));
            points.push_back({i + 1, host.DoorAddress, port});
            for (int t = 0; t < TicketsPerPoint; ++t) {
                tickets.push_back({100 * (i + 1) + t, i + 1});
            }
        }
        PointList pointList(points);
        TicketList ticketList(tickets);
        Messages messages;
        CountingReplyBox replyBox;
        dev::ThreadSleeper sleeper;
        dev::DeviceLink link(messages, replyBox, sleeper);

        const auto start = Clock::now();
        const bool served = link.PushTickets(true, pointList, ticketList);
        const double ms = MillisecondsSince(start);

        if (!served || !messages.Texts.empty()) {
            throw std::runtime_error("the push did not serve every point");
        }
        for (const auto& door : doors) {
            if (door->IntactFrames(TicketsPerPoint) != static_cast<std::size_t>(TicketsPerPoint)) {
                throw std::runtime_error("a simulated door did not log its two intact frames");
            }
        }
        if (replyBox.Count() != 0) {
            throw std::runtime_error("the reply listener complained about a door's reply");
        }
        const double paceMs = 2000.0 * (Points * TicketsPerPoint + Points);
        std::printf("push: %.1f ms for %d frames to %d points (pace %.0f ms)\n", ms, Points * TicketsPerPoint, Points,
                    paceMs);
        Result result;
        result.Name = "push, 3 points x 2 frames";
        result.Measured = Format("%.3f s", ms / 1000.0);
        result.Baseline = Format("%.0f s", paceMs / 1000.0) + " (2 s x (6 frames + 3 points))";
        result.Ratio = ms / paceMs;
        result.Goal = "<= 1.01x";
        result.Met = result.Ratio <= 1.01;
        result.Peak = Format("%.1f MiB", static_cast<double>(PeakKilobytes()) / 1024.0);
        result.Note = "real ThreadSleeper, real UDP to access-point-sim in 3 door hosts, all replies OK";
        Report(result);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "push_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
