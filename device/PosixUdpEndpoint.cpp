#include "PosixUdpEndpoint.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "DeviceError.h"

namespace selvo::device {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_fd = other.Release();
    }
    return *this;
}

int UniqueFd::Release()
{
    return std::exchange(m_fd, -1);
}

void UniqueFd::Reset()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

namespace {

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool IsPortNumber(std::int32_t port)
{
    return port >= 1 && port <= 65535;
}

sockaddr_in Resolve(const std::string& host, std::int32_t port)
{
    if (!IsPortNumber(port)) {
        throw DeviceError("Invalid destination port " + std::to_string(port));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) {
        return address;
    }
    // An empty name is no host; it must not reach the resolver (which may read it as "this host").
    if (host.empty()) {
        throw DeviceError("Cannot resolve host: empty host name");
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        throw DeviceError("Cannot resolve host \"" + host + "\": " + ::gai_strerror(rc));
    }
    std::memcpy(&address.sin_addr, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr,
                sizeof(address.sin_addr));
    ::freeaddrinfo(found);
    return address;
}

} // namespace

PosixUdpEndpoint::~PosixUdpEndpoint()
{
    Close();
}

void PosixUdpEndpoint::Open()
{
    if (IsOpen()) {
        return;
    }
    m_lastOpenError.clear();
    if (!IsPortNumber(m_port)) {
        m_lastOpenError = "Invalid local port " + std::to_string(m_port);
        return;
    }
    UniqueFd socketFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socketFd.Valid()) {
        m_lastOpenError = ErrnoText("socket");
        return;
    }
    const int on = 1;
    if (m_broadcast && ::setsockopt(socketFd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        m_lastOpenError = ErrnoText("setsockopt(SO_BROADCAST)");
        return;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<std::uint16_t>(m_port));
    // No SO_REUSEADDR: a port another program holds must make the opening fail.
    if (::bind(socketFd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        m_lastOpenError = ErrnoText("bind");
        return;
    }
    UniqueFd wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wakeFd.Valid()) {
        m_lastOpenError = ErrnoText("eventfd");
        return;
    }
    m_receiverRunning.store(true);
    try {
        m_receiver =
            std::jthread(ReceiveLoop, socketFd.Get(), wakeFd.Get(), m_pollTimeoutMs, m_handler, &m_receiverRunning);
    } catch (const std::system_error& e) {
        m_receiverRunning.store(false);
        m_lastOpenError = std::string("thread: ") + e.what();
        return;
    }
    m_socket = std::move(socketFd);
    m_wake = std::move(wakeFd);
    m_boundPort = static_cast<std::uint16_t>(m_port);
}

void PosixUdpEndpoint::ReceiveLoop(std::stop_token stop, int socketFd, int wakeFd, int pollTimeoutMs,
                                   DatagramHandler handler, std::atomic<bool>* running)
{
    struct Ended
    {
        std::atomic<bool>* Running;
        ~Ended() { Running->store(false); }
    } ended{running};

    std::array<std::uint8_t, ReceiveBufferSize> buffer;
    while (!stop.stop_requested()) {
        std::array<pollfd, 2> fds{{{socketFd, POLLIN, 0}, {wakeFd, POLLIN, 0}}};
        const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs);
        if (stop.stop_requested()) {
            break;
        }
        if (ready <= 0 || (fds[0].revents & (POLLIN | POLLERR)) == 0) {
            continue;
        }
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // A datagram longer than the buffer is cut to its first 8192 bytes; replies are 76.
        const ssize_t received = ::recvfrom(socketFd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) {
            continue;
        }
        if (!handler) {
            continue;
        }
        try {
            handler(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)));
        } catch (...) {
            // A handler's failure must not end the thread (and the program with it); it is dropped.
        }
    }
}

void PosixUdpEndpoint::Send(const std::string& host, std::int32_t port, std::span<const std::uint8_t> bytes)
{
    if (!IsOpen()) {
        throw DeviceError("Cannot send: the UDP endpoint is not open");
    }
    const sockaddr_in destination = Resolve(host, port);
    const ssize_t sent = ::sendto(m_socket.Get(), bytes.data(), bytes.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    if (sent < 0) {
        throw DeviceError(ErrnoText(("Cannot send to " + host + ":" + std::to_string(port)).c_str()));
    }
    if (static_cast<std::size_t>(sent) != bytes.size()) {
        throw DeviceError("Cannot send to " + host + ": datagram cut short");
    }
}

void PosixUdpEndpoint::RequestStop()
{
    if (m_receiver.joinable() && !m_receiver.get_stop_token().stop_requested()) {
        m_receiver.request_stop();
        const std::uint64_t one = 1;
        // The eventfd wakes the poll at once; should the write fail, the poll's timeout still ends it.
        [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof one);
    }
}

void PosixUdpEndpoint::Close()
{
    if (m_receiver.joinable()) {
        RequestStop();
        m_receiver.join();
    }
    m_receiver = std::jthread();
    m_socket.Reset();
    m_wake.Reset();
    m_boundPort = 0;
}

} // namespace selvo::device
