#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "DeviceFrame.h"
#include "PlainMessage.h"
#include "PushLists.h"
#include "Sleeper.h"
#include "UdpEndpoint.h"
#include "WorkerMessageBox.h"

namespace selvo::device {

// ReplyState values: nothing sent yet, a UserWrite reply awaited, the awaited reply evaluated.
inline constexpr std::uint8_t ReplyNothingSent = 0;
inline constexpr std::uint8_t ReplyAwaited = 12;
inline constexpr std::uint8_t ReplyEvaluated = 20;

// The main window's device link: the UDP endpoint IdUDPServer1, the current access point, the ticket
// push and the reply listener. The window owns one for its whole life and supplies the three stand-ins
// (they must outlive it). UI thread only, except IdUDPServer1UDPRead (receiving thread) and ReplyState
// (shared by both).
class DeviceLink final
{
public:
    static constexpr std::chrono::milliseconds PushPause{2000};

    DeviceLink(PlainMessage& messages, WorkerMessageBox& replyBox, Sleeper& sleeper);
    // For tests: another endpoint in place of the socket one.
    DeviceLink(PlainMessage& messages, WorkerMessageBox& replyBox, Sleeper& sleeper,
               std::unique_ptr<UdpEndpoint> endpoint);
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;
    // Closes an endpoint that is still open.
    ~DeviceLink();

    // Writes the card's tickets into every all-access point (enable true admits the card, false
    // withdraws it). False when the endpoint could not be opened for a point (the operator has been
    // told; later points are untouched). A failed resolve or send propagates as DeviceError, after
    // the endpoint has been closed.
    bool PushTickets(bool enable, TimerAccessPointCursor& points, TimerAccessTicketCursor& tickets);

    // Frames the payload under the two command letters and sends it to DeviceHost:DevicePort through
    // the open endpoint. Throws DeviceError on a failed resolve or send.
    void SendCommand(char first, char second, const DevicePayload& payload);

    // The endpoint's datagram handler: evaluates the awaited reply. Receiving thread.
    void IdUDPServer1UDPRead(std::span<const std::uint8_t> datagram);

    UdpEndpoint& IdUDPServer1() { return *m_endpoint; }

    // The access point SendCommand sends to; set by the push, kept after it.
    std::string DeviceHost;
    std::int32_t DevicePort = 0;

    // Written by the push (12 before every frame) and the listener (20); never reset.
    std::atomic<std::uint8_t> ReplyState{ReplyNothingSent};

private:
    void ClosePoint();
    void StopReceiving();

    PlainMessage& m_messages;
    WorkerMessageBox& m_replyBox;
    Sleeper& m_sleeper;
    std::unique_ptr<UdpEndpoint> m_endpoint;
};

// The card code a UserWrite frame carries: rounded to the nearest integer (halves to even), low 32 bits;
// none reads as 0. Throws DeviceError for a value no 64-bit integer holds.
std::uint32_t CardCodeForFrame(std::optional<double> employeeCardCode);

} // namespace selvo::device
