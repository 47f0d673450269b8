#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace selvo::device {

// The UDP endpoint the push opens once per access point: one IPv4 datagram socket bound to all local
// addresses on the local port, and a receiving thread of its own that hands every datagram to the handler.
// Configuration, Open, Send and Close: one controlling thread only (the UI thread); the handler runs on
// the receiving thread.
class UdpEndpoint
{
public:
    // Called on the receiving thread with exactly the bytes received.
    using DatagramHandler = std::function<void(std::span<const std::uint8_t>)>;

    virtual ~UdpEndpoint() = default;

    // Settings for the next opening; an endpoint that is already open keeps the ones it was opened with.
    virtual void SetDefaultPort(std::int32_t port) = 0;
    virtual void SetOnUDPRead(DatagramHandler handler) = 0;
    virtual void SetBroadcastEnabled(bool enabled) = 0;

    // Creates and binds the socket and starts the receiving thread; on any failure releases what it made
    // and stays closed (IsOpen() tells). Opening an open endpoint changes nothing.
    virtual void Open() = 0;
    virtual bool IsOpen() const = 0;

    // One datagram from the endpoint's own socket (so from its local port) to host:port. A dotted
    // address is used as it is, a name is looked up. Throws DeviceError when the host cannot be
    // resolved, the endpoint is closed, or the send fails.
    virtual void Send(const std::string& host, std::int32_t port, std::span<const std::uint8_t> bytes) = 0;

    // Asks the receiving thread to stop; it ends as soon as a handler that is running has returned.
    virtual void RequestStop() {}
    // True from a successful opening until the receiving thread has ended. Any thread.
    virtual bool ReceiverRunning() const { return false; }

    // Stops the receiving thread, waits until it has ended (a handler still running included), then
    // releases the socket. Datagrams not yet read are lost.
    virtual void Close() = 0;
};

} // namespace selvo::device
