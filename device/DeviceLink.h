#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "DeliveryReport.h"
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

    // Told when each push begins and when it has ended; none unless set. It must outlive the link.
    void SetDeliveryWatcher(DeliveryWatcher* watcher) { m_watcher = watcher; }
    // What the last push did at each all-access point; complete once PushTickets has returned or thrown.
    const DeliveryReport& LastDelivery() const { return m_delivery; }

    // The access point SendCommand sends to; set by the push, kept after it.
    std::string DeviceHost;
    std::int32_t DevicePort = 0;

    // Written by the push (12 before every frame) and the listener (20); never reset.
    std::atomic<std::uint8_t> ReplyState{ReplyNothingSent};

private:
    enum class ReplyVerdict : std::uint8_t
    {
        Ok,
        Refused,
        Unclear,
    };
    // A reply the listener evaluated, with the number of the frame it counted for.
    struct EvaluatedReply
    {
        std::uint64_t Frame = 0;
        ReplyVerdict Verdict = ReplyVerdict::Ok;
    };
    // One all-access point of the running push. UI thread only.
    struct PointProgress
    {
        std::vector<std::uint64_t> Frames;   // numbers of the frames sent to it
        std::vector<EvaluatedReply> Replies; // evaluated while its own endpoint was open
        bool Walked = false;                 // its tickets were walked to the end
        bool Unreachable = false;            // the endpoint would not open, or a send failed
    };
    class DeliveryEnd;

    void ClosePoint();
    void StopReceiving();
    void BeginDelivery(TimerAccessPointCursor& points);
    void TakeReplies();
    void EndDelivery();
    void RecordReply(ReplyVerdict verdict);

    PlainMessage& m_messages;
    WorkerMessageBox& m_replyBox;
    Sleeper& m_sleeper;
    std::unique_ptr<UdpEndpoint> m_endpoint;

    // Counts every frame the link has sent (the number of the frame just sent); written by the push
    // before it sets ReplyState to 12, read by the listener.
    std::atomic<std::uint64_t> m_framesSent{0};
    // Written by the listener on the receiving thread; taken by the UI thread only once that thread
    // has been joined (before the next opening and when the push ends).
    std::vector<EvaluatedReply> m_evaluated;
    std::uint64_t m_lastEvaluatedFrame = 0; // the listener's own

    DeliveryWatcher* m_watcher = nullptr;
    DeliveryReport m_delivery;
    std::vector<PointProgress> m_progress;
    std::size_t m_servedPoint = 0; // the point whose endpoint was opened last, or past the end
};

// The card code a UserWrite frame carries: rounded to the nearest integer (halves to even), low 32 bits;
// none reads as 0. Throws DeviceError for a value no 64-bit integer holds.
std::uint32_t CardCodeForFrame(std::optional<double> employeeCardCode);

} // namespace selvo::device
