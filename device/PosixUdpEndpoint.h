#pragma once

#include "UdpEndpoint.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace selvo::device {

// An owned file descriptor, closed on destruction.
class UniqueFd final
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release();
    void Reset();

private:
    int m_fd = -1;
};

// UdpEndpoint on Linux sockets: a socket and an eventfd per opening, a std::jthread that polls both
// (at most 1000 ms per wait) and reads into an 8192-byte buffer. Close signals the eventfd, joins the
// thread and only then closes the socket, so the descriptor cannot be reused under a running poll.
// Controlling thread only, apart from the handler, which runs on the receiving thread.
class PosixUdpEndpoint final : public UdpEndpoint
{
public:
    static constexpr int PollTimeoutMs = 1000;
    static constexpr std::size_t ReceiveBufferSize = 8192;

    PosixUdpEndpoint() = default;
    PosixUdpEndpoint(const PosixUdpEndpoint&) = delete;
    PosixUdpEndpoint& operator=(const PosixUdpEndpoint&) = delete;
    ~PosixUdpEndpoint() override;

    void SetDefaultPort(std::int32_t port) override { m_port = port; }
    void SetOnUDPRead(DatagramHandler handler) override { m_handler = std::move(handler); }
    void SetBroadcastEnabled(bool enabled) override { m_broadcast = enabled; }

    void Open() override;
    bool IsOpen() const override { return m_socket.Valid(); }
    void Send(const std::string& host, std::int32_t port, std::span<const std::uint8_t> bytes) override;
    void RequestStop() override;
    bool ReceiverRunning() const override { return m_receiverRunning.load(); }
    void Close() override;

    // Why the last Open failed (empty after a successful one); for diagnostics.
    const std::string& LastOpenError() const { return m_lastOpenError; }
    // The port the open socket is bound to (0 while closed).
    std::uint16_t BoundPort() const { return m_boundPort; }
    // The longest wait of the receiving thread, from the next Open on. Tests make it longer than they
    // wait for a Close, so that only the wake-up can end the thread in time.
    void SetPollTimeout(std::chrono::milliseconds timeout) { m_pollTimeoutMs = static_cast<int>(timeout.count()); }

private:
    static void ReceiveLoop(std::stop_token stop, int socketFd, int wakeFd, int pollTimeoutMs, DatagramHandler handler,
                            std::atomic<bool>* running);

    std::int32_t m_port = 0;
    int m_pollTimeoutMs = PollTimeoutMs;
    DatagramHandler m_handler;
    bool m_broadcast = false;

    UniqueFd m_socket;
    UniqueFd m_wake;
    std::atomic<bool> m_receiverRunning{false};
    std::jthread m_receiver;
    std::uint16_t m_boundPort = 0;
    std::string m_lastOpenError;
};

} // namespace selvo::device
