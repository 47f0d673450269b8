#include "DeviceLink.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "DeviceError.h"
#include "DeviceTexts.h"
#include "PosixUdpEndpoint.h"

namespace selvo::device {

namespace {

std::int32_t Low32(std::int64_t value)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

void SkipPointsWithoutAllAccess(TimerAccessPointCursor& points)
{
    while (!points.Eof() && !points.AllAccess()) {
        points.Next();
    }
}

template <typename Replies, typename Verdict> bool AnyVerdict(const Replies& replies, Verdict verdict)
{
    return std::any_of(replies.begin(), replies.end(),
                       [verdict](const auto& reply) { return reply.Verdict == verdict; });
}

} // namespace

std::uint32_t CardCodeForFrame(std::optional<double> employeeCardCode)
{
    if (!employeeCardCode) {
        return 0;
    }
    // nearbyint in the default rounding mode rounds halves to even.
    const double rounded = std::nearbyint(*employeeCardCode);
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
        throw DeviceError("Invalid card code " + std::to_string(*employeeCardCode));
    }
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(rounded)));
}

DeviceLink::DeviceLink(PlainMessage& messages, WorkerMessageBox& replyBox, Sleeper& sleeper)
    : DeviceLink(messages, replyBox, sleeper, std::make_unique<PosixUdpEndpoint>())
{
}

DeviceLink::DeviceLink(PlainMessage& messages, WorkerMessageBox& replyBox, Sleeper& sleeper,
                       std::unique_ptr<UdpEndpoint> endpoint)
    : m_messages(messages), m_replyBox(replyBox), m_sleeper(sleeper), m_endpoint(std::move(endpoint))
{
}

DeviceLink::~DeviceLink()
{
    try {
        if (m_endpoint->IsOpen()) {
            // A reply box may still be waiting for the operator: serve it before the join.
            StopReceiving();
            m_endpoint->Close();
        }
    } catch (...) {
        // Nothing to tell anyone while the window goes away.
    }
}

// Completes the delivery report and hands it on however the push ends.
class DeviceLink::DeliveryEnd final
{
public:
    explicit DeliveryEnd(DeviceLink& link) : m_link(link) {}
    ~DeliveryEnd()
    {
        try {
            m_link.EndDelivery();
        } catch (...) {
            // The push's own outcome (its result or its error) matters more than the report.
        }
    }
    DeliveryEnd(const DeliveryEnd&) = delete;
    DeliveryEnd& operator=(const DeliveryEnd&) = delete;

private:
    DeviceLink& m_link;
};

bool DeviceLink::PushTickets(bool enable, TimerAccessPointCursor& points, TimerAccessTicketCursor& tickets)
{
    BeginDelivery(points);
    const DeliveryEnd deliveryEnd(*this);

    points.First();
    SkipPointsWithoutAllAccess(points);
    while (!points.Eof()) {
        PointProgress& progress = m_progress.at(m_servedPoint);
        DeviceHost = points.LocalIp();
        DevicePort = Low32(points.UdpPort());
        m_endpoint->SetDefaultPort(DevicePort);
        m_endpoint->SetOnUDPRead([this](std::span<const std::uint8_t> datagram) { IdUDPServer1UDPRead(datagram); });
        m_endpoint->SetBroadcastEnabled(true);
        m_endpoint->Open();
        if (!m_endpoint->IsOpen()) {
            progress.Unreachable = true;
            m_messages.ShowMessage(std::string(ConnectionErrorText));
            return false;
        }

        const std::int32_t pointId = Low32(points.TimerAccessPointId());
        try {
            tickets.First();
            while (!tickets.Eof()) {
                if (Low32(tickets.TimerAccessPointId()) == pointId) {
                    const auto ticketId = static_cast<std::uint32_t>(Low32(tickets.TimerAccessTicketId()));
                    const DevicePayload payload =
                        UserWritePayload(ticketId, CardCodeForFrame(tickets.EmployeeCardCode()), enable);
                    progress.Frames.push_back(m_framesSent.fetch_add(1) + 1);
                    ReplyState.store(ReplyAwaited);
                    try {
                        SendCommand(UserWriteFirst, UserWriteSecond, payload);
                    } catch (...) {
                        progress.Unreachable = true;
                        throw;
                    }
                    m_sleeper.Sleep(PushPause);
                }
                tickets.Next();
            }
            tickets.First();
            progress.Walked = true;
            m_sleeper.Sleep(PushPause);
        } catch (...) {
            // Left open, the endpoint would stay bound to this point's port and the next push's frames
            // would leave from it; the error itself still ends the push.
            try {
                StopReceiving();
                m_endpoint->Close();
            } catch (...) {
            }
            throw;
        }

        ClosePoint();
        // The point's receiving thread has been joined: its replies can be read now.
        TakeReplies();
        ++m_servedPoint;
        points.Next();
        SkipPointsWithoutAllAccess(points);
    }
    return true;
}

void DeviceLink::BeginDelivery(TimerAccessPointCursor& points)
{
    // No receiving thread runs between pushes: what an earlier one left is stale.
    m_evaluated.clear();
    m_delivery.clear();
    m_progress.clear();
    m_servedPoint = 0;
    for (points.First(), SkipPointsWithoutAllAccess(points); !points.Eof();
         points.Next(), SkipPointsWithoutAllAccess(points)) {
        m_delivery.push_back({points.Name(), DeliveryState::NotSent});
    }
    m_progress.resize(m_delivery.size());
    if (m_watcher != nullptr) {
        m_watcher->PushBegins();
    }
}

// Gives the point being served the replies evaluated for its own frames. A reply that counted for an
// earlier point's frame came after that point's endpoint had closed: it answers nothing here.
// Called once the receiving thread has ended; should a failed closing have left it running, its
// replies are not looked at and the frames count as unanswered.
void DeviceLink::TakeReplies()
{
    if (m_endpoint->ReceiverRunning()) {
        return;
    }
    if (m_servedPoint < m_progress.size()) {
        PointProgress& point = m_progress[m_servedPoint];
        for (const EvaluatedReply& reply : m_evaluated) {
            if (std::find(point.Frames.begin(), point.Frames.end(), reply.Frame) != point.Frames.end()) {
                point.Replies.push_back(reply);
            }
        }
    }
    m_evaluated.clear();
}

void DeviceLink::EndDelivery()
{
    TakeReplies();
    for (std::size_t i = 0; i < m_progress.size(); ++i) {
        const PointProgress& point = m_progress[i];
        DeliveryState& state = m_delivery[i].State;
        if (point.Unreachable) {
            state = DeliveryState::Unreachable;
        } else if (point.Frames.empty()) {
            state = point.Walked ? DeliveryState::NoTicket : DeliveryState::NotSent;
        } else if (AnyVerdict(point.Replies, ReplyVerdict::Refused)) {
            state = DeliveryState::Refused;
        } else if (AnyVerdict(point.Replies, ReplyVerdict::Unclear)) {
            state = DeliveryState::Unclear;
        } else if (point.Replies.size() < point.Frames.size()) {
            state = DeliveryState::NoReply;
        } else {
            state = DeliveryState::Confirmed;
        }
    }
    if (m_watcher != nullptr) {
        m_watcher->PushEnded(m_delivery);
    }
}

void DeviceLink::StopReceiving()
{
    // The receiving thread may be waiting for the operator to dismiss a reply box; the UI thread keeps
    // serving its window until the thread has ended, and joins it only then.
    m_endpoint->RequestStop();
    m_sleeper.WaitUntil([this] { return !m_endpoint->ReceiverRunning(); });
}

void DeviceLink::ClosePoint()
{
    try {
        StopReceiving();
        m_endpoint->Close();
    } catch (...) {
        if (m_endpoint->IsOpen()) {
            m_messages.ShowMessage(std::string(ConnectionErrorText));
        }
        throw;
    }
    if (m_endpoint->IsOpen()) {
        m_messages.ShowMessage(std::string(ConnectionErrorText));
    }
}

void DeviceLink::SendCommand(char first, char second, const DevicePayload& payload)
{
    const DeviceFrame frame = BuildDeviceFrame(first, second, payload);
    m_endpoint->Send(DeviceHost, DevicePort, frame);
}

void DeviceLink::IdUDPServer1UDPRead(std::span<const std::uint8_t> datagram)
{
    if (!IsIntactFrame(datagram)) {
        return;
    }
    if (ReplyState.load() != ReplyAwaited) {
        return;
    }
    // Before the box, so a second reply to the same frame finds 20 and is ignored.
    ReplyState.store(ReplyEvaluated);
    const std::uint8_t s0 = datagram[StatusOffset];
    const std::uint8_t s1 = datagram[StatusOffset + 1];
    if (s0 == 'N' && s1 == 'O') {
        RecordReply(ReplyVerdict::Refused);
        m_replyBox.ShowError(std::string(UserWriteRefusedText), std::string(ReplyBoxCaption));
    } else if (s0 == 'O' && s1 == 'K') {
        RecordReply(ReplyVerdict::Ok);
        return;
    } else {
        RecordReply(ReplyVerdict::Unclear);
        m_replyBox.ShowError(std::string(UnclearReplyText), std::string(ReplyBoxCaption));
    }
}

// The evaluated reply counts for the frame just sent, as the listener's rule has it; one reply per frame.
// Receiving thread.
void DeviceLink::RecordReply(ReplyVerdict verdict)
{
    const std::uint64_t frame = m_framesSent.load();
    if (frame == 0 || frame == m_lastEvaluatedFrame) {
        return;
    }
    m_lastEvaluatedFrame = frame;
    m_evaluated.push_back({frame, verdict});
}

} // namespace selvo::device
