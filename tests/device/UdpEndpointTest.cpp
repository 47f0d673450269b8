#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceError.h"
#include "DeviceLink.h"
#include "DeviceTestSupport.h"
#include "DeviceTexts.h"
#include "DoorHosts.h"
#include "PosixUdpEndpoint.h"

namespace selvo::device {
namespace {

using namespace std::chrono_literals;
using test::FreeUdpPort;

// A plain loopback socket standing in for the other side.
class LoopbackPeer final
{
public:
    LoopbackPeer() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address = Loopback(0);
        socklen_t length = sizeof address;
        if (::bind(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot bind a loopback peer");
        }
        Port = ntohs(address.sin_port);
    }

    static sockaddr_in Loopback(std::uint16_t port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return address;
    }

    void SendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes) const
    {
        const sockaddr_in to = Loopback(port);
        ASSERT_EQ(
            ::sendto(m_fd.Get(), bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(bytes.size()));
    }

    // One datagram and its source port, or nothing within the timeout.
    std::optional<std::pair<std::vector<std::uint8_t>, std::uint16_t>> Receive(std::chrono::milliseconds timeout)
    {
        pollfd fd{m_fd.Get(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(timeout.count())) != 1) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> buffer(65536);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            ::recvfrom(m_fd.Get(), buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) {
            return std::nullopt;
        }
        buffer.resize(static_cast<std::size_t>(n));
        return std::pair{buffer, ntohs(from.sin_port)};
    }

    std::uint16_t Port = 0;

private:
    UniqueFd m_fd;
};

bool CanBindUdp(std::uint16_t port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    return ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// Collects what the handler sees, from the receiving thread.
class Received final
{
public:
    UdpEndpoint::DatagramHandler Handler()
    {
        return [this](std::span<const std::uint8_t> bytes) {
            std::lock_guard lock(m_mutex);
            m_datagrams.emplace_back(bytes.begin(), bytes.end());
            m_threads.push_back(std::this_thread::get_id());
            m_changed.notify_all();
        };
    }

    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = 3000ms)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_datagrams.size() >= count; });
    }

    std::vector<std::vector<std::uint8_t>> Datagrams()
    {
        std::lock_guard lock(m_mutex);
        return m_datagrams;
    }

    std::vector<std::thread::id> Threads()
    {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::vector<std::uint8_t>> m_datagrams;
    std::vector<std::thread::id> m_threads;
};

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    return bytes;
}

TEST(UdpEndpoint, HandlerGetsExactlyTheReceivedBytesOnTheReceivingThread)
{
    PosixUdpEndpoint endpoint;
    Received received;
    const std::uint16_t port = FreeUdpPort();
    endpoint.SetDefaultPort(port);
    endpoint.SetOnUDPRead(received.Handler());
    endpoint.SetBroadcastEnabled(true);
    endpoint.Open();
    ASSERT_TRUE(endpoint.IsOpen()) << endpoint.LastOpenError();
    EXPECT_EQ(endpoint.BoundPort(), port);

    LoopbackPeer peer;
    const std::vector<std::size_t> sizes = {0, 1, 75, 76, 100, 8192, 9000};
    for (std::size_t size : sizes) {
        peer.SendTo(port, Pattern(size));
    }
    ASSERT_TRUE(received.WaitFor(sizes.size()));
    endpoint.Close();

    const auto datagrams = received.Datagrams();
    ASSERT_EQ(datagrams.size(), sizes.size());
    for (std::size_t i = 0; i + 1 < sizes.size(); ++i) {
        EXPECT_EQ(datagrams[i], Pattern(sizes[i])) << sizes[i] << " bytes";
    }
    // Longer than the receive buffer: its first 8192 bytes.
    EXPECT_EQ(datagrams.back(), Pattern(8192));
    for (const auto& id : received.Threads()) {
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

TEST(UdpEndpoint, FramesLeaveFromTheLocalPortAndRepliesComeBackToIt)
{
    PosixUdpEndpoint endpoint;
    Received received;
    const std::uint16_t port = FreeUdpPort();
    endpoint.SetDefaultPort(port);
    endpoint.SetOnUDPRead(received.Handler());
    endpoint.Open();
    ASSERT_TRUE(endpoint.IsOpen()) << endpoint.LastOpenError();

    LoopbackPeer peer;
    const auto frame = Pattern(76);
    endpoint.Send("127.0.0.1", peer.Port, frame);
    const auto got = peer.Receive(3000ms);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->first, frame);
    EXPECT_EQ(got->second, port);

    peer.SendTo(got->second, Pattern(3));
    ASSERT_TRUE(received.WaitFor(1));
}

TEST(UdpEndpoint, OpeningFailsCleanlyWhenThePortIsTaken)
{
    PosixUdpEndpoint first;
    const std::uint16_t port = FreeUdpPort();
    first.SetDefaultPort(port);
    first.Open();
    ASSERT_TRUE(first.IsOpen());

    PosixUdpEndpoint second;
    second.SetDefaultPort(port);
    second.Open();
    EXPECT_FALSE(second.IsOpen());
    EXPECT_THAT(second.LastOpenError(), ::testing::HasSubstr("bind"));
    EXPECT_THROW(second.Send("127.0.0.1", port, Pattern(76)), DeviceError);
    second.Close();

    first.Close();
    second.Open();
    EXPECT_TRUE(second.IsOpen()) << second.LastOpenError();
}

TEST(UdpEndpoint, PortsOutsideTheUdpRangeDoNotOpen)
{
    for (std::int32_t port : {0, -1, 65536, 70000}) {
        PosixUdpEndpoint endpoint;
        endpoint.SetDefaultPort(port);
        endpoint.Open();
        EXPECT_FALSE(endpoint.IsOpen()) << port;
    }
}

TEST(UdpEndpoint, CloseIsPromptAndReleasesThePort)
{
    PosixUdpEndpoint endpoint;
    // A wait far longer than the test waits for the Close: only the wake-up ends the thread in time
    // (should it not, the Close still returns after this wait, and the test fails).
    endpoint.SetPollTimeout(30s);
    const std::uint16_t port = FreeUdpPort();
    endpoint.SetDefaultPort(port);
    endpoint.Open();
    ASSERT_TRUE(endpoint.IsOpen());
    EXPECT_FALSE(CanBindUdp(port));
    std::this_thread::sleep_for(50ms); // the receiving thread is inside its wait

    auto closing = std::async(std::launch::async, [&endpoint] { endpoint.Close(); });
    const bool closed = closing.wait_for(10s) == std::future_status::ready;
    closing.get();
    ASSERT_TRUE(closed) << "the receiving thread must be woken, not left to its wait";

    EXPECT_FALSE(endpoint.IsOpen());
    EXPECT_FALSE(endpoint.ReceiverRunning());
    EXPECT_TRUE(CanBindUdp(port));
}

TEST(UdpEndpoint, OpeningAnOpenEndpointKeepsItsPortAndReopeningTakesTheNewOne)
{
    PosixUdpEndpoint endpoint;
    const auto first = FreeUdpPort();
    auto second = FreeUdpPort();
    while (second == first) {
        second = FreeUdpPort();
    }
    LoopbackPeer peer;
    endpoint.SetDefaultPort(first);
    endpoint.Open();
    endpoint.SetDefaultPort(second);
    endpoint.Open();
    endpoint.Send("127.0.0.1", peer.Port, Pattern(76));
    auto got = peer.Receive(3000ms);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->second, first);

    endpoint.Close();
    endpoint.Open();
    endpoint.Send("localhost", peer.Port, Pattern(76));
    got = peer.Receive(3000ms);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->second, second);
}

TEST(UdpEndpoint, UnusableDestinationsAreSendErrors)
{
    PosixUdpEndpoint endpoint;
    endpoint.SetDefaultPort(FreeUdpPort());
    endpoint.Open();
    ASSERT_TRUE(endpoint.IsOpen());
    EXPECT_THROW(endpoint.Send("", 4000, Pattern(76)), DeviceError);
    EXPECT_THROW(endpoint.Send("127.0.0.1", 0, Pattern(76)), DeviceError);
    EXPECT_THROW(endpoint.Send("127.0.0.1", 65536, Pattern(76)), DeviceError);
}

// The push over loopback: a point whose localip is the tool's own address gets the tool's own frame back.
class LoopbackPush : public ::testing::Test
{
protected:
    test::RecordingMessages messages;
    test::RecordingReplyBox box;
    test::RecordingSleeper sleeper{nullptr, 20};
    DeviceLink link{messages, box, sleeper};
};

TEST_F(LoopbackPush, OwnFrameComingBackIsAnUnclearReply)
{
    const auto port = FreeUdpPort();
    test::ListPoints points({{1, "127.0.0.1", port, true}});
    test::ListTickets tickets({{11, 1, 1.0}, {12, 1, 2.0}});

    EXPECT_TRUE(link.PushTickets(true, points, tickets));

    EXPECT_EQ(box.Texts(), std::vector<std::string>(2, std::string(UnclearReplyText)));
    for (const auto& shown : box.Boxes()) {
        EXPECT_EQ(shown.Caption, "Error");
        EXPECT_NE(shown.Thread, std::this_thread::get_id());
    }
    EXPECT_EQ(link.ReplyState.load(), ReplyEvaluated);
    EXPECT_FALSE(link.IdUDPServer1().IsOpen());
}

TEST_F(LoopbackPush, ClosingWaitsForAnOpenReplyBox)
{
    const auto port = FreeUdpPort();
    test::ListPoints points({{1, "127.0.0.1", port, true}});
    test::ListTickets tickets({{11, 1, 1.0}});
    box.HoldOpen();

    auto push = std::async(std::launch::async, [&] { return link.PushTickets(true, points, tickets); });
    ASSERT_TRUE(box.WaitForBoxes(1, 3000ms));
    // Both pauses (100 ms each here) are long over; the push is held in the closing.
    EXPECT_EQ(push.wait_for(800ms), std::future_status::timeout);
    box.Release();
    ASSERT_EQ(push.wait_for(3000ms), std::future_status::ready);
    EXPECT_TRUE(push.get());
    EXPECT_TRUE(CanBindUdp(port));
}

// A window's pause: while the push waits for the receiving thread, it serves the reply box that thread
// is waiting for (here: dismisses it). A closing that joined the thread first would never return.
class DismissingSleeper final : public Sleeper
{
public:
    explicit DismissingSleeper(test::RecordingReplyBox& box) : m_box(box) {}
    void Sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration / 20); }
    void WaitUntil(const std::function<bool()>& done) override
    {
        ++Waits;
        while (!done()) {
            if (!m_box.Boxes().empty()) {
                m_box.Release();
            }
            std::this_thread::sleep_for(5ms);
        }
    }
    std::atomic<int> Waits{0};

private:
    test::RecordingReplyBox& m_box;
};

TEST(LoopbackPushWindow, ClosingLetsTheWindowServeTheReplyBoxBeforeJoining)
{
    test::RecordingMessages messages;
    test::RecordingReplyBox box;
    DismissingSleeper sleeper(box);
    DeviceLink link(messages, box, sleeper);
    const auto port = FreeUdpPort();
    test::ListPoints points({{1, "127.0.0.1", port, true}});
    test::ListTickets tickets({{11, 1, 1.0}});
    box.HoldOpen();
    // The box's operator answers only through the window's wait.
    sleeper.Waits = 0;

    auto push = std::async(std::launch::async, [&] { return link.PushTickets(true, points, tickets); });
    const bool finished = push.wait_for(5000ms) == std::future_status::ready;
    box.Release();
    ASSERT_TRUE(finished) << "the closing blocked before the window could dismiss the box";
    EXPECT_TRUE(push.get());
    EXPECT_EQ(box.Texts(), std::vector<std::string>{std::string(UnclearReplyText)});
    EXPECT_EQ(sleeper.Waits.load(), 1);
}

TEST_F(LoopbackPush, TakenPortIsAConnectionError)
{
    const auto port = FreeUdpPort();
    PosixUdpEndpoint holder;
    holder.SetDefaultPort(port);
    holder.Open();
    ASSERT_TRUE(holder.IsOpen());
    test::ListPoints points({{1, "127.0.0.1", port, true}});
    test::ListTickets tickets({{11, 1, 1.0}});

    EXPECT_FALSE(link.PushTickets(true, points, tickets));

    EXPECT_EQ(messages.Texts, std::vector<std::string>{std::string(ConnectionErrorText)});
    EXPECT_EQ(link.ReplyState.load(), ReplyNothingSent);
}

} // namespace
} // namespace selvo::device
