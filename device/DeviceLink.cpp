#include "DeviceLink.h"

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

bool DeviceLink::PushTickets(bool enable, TimerAccessPointCursor& points, TimerAccessTicketCursor& tickets)
{
    points.First();
    SkipPointsWithoutAllAccess(points);
    while (!points.Eof()) {
        DeviceHost = points.LocalIp();
        DevicePort = Low32(points.UdpPort());
        m_endpoint->SetDefaultPort(DevicePort);
        m_endpoint->SetOnUDPRead([this](std::span<const std::uint8_t> datagram) { IdUDPServer1UDPRead(datagram); });
        m_endpoint->SetBroadcastEnabled(true);
        m_endpoint->Open();
        if (!m_endpoint->IsOpen()) {
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
                    ReplyState.store(ReplyAwaited);
                    SendCommand(UserWriteFirst, UserWriteSecond, payload);
                    m_sleeper.Sleep(PushPause);
                }
                tickets.Next();
            }
            tickets.First();
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
        points.Next();
        SkipPointsWithoutAllAccess(points);
    }
    return true;
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
        m_replyBox.ShowError(std::string(UserWriteRefusedText), std::string(ReplyBoxCaption));
    } else if (s0 == 'O' && s1 == 'K') {
        return;
    } else {
        m_replyBox.ShowError(std::string(UnclearReplyText), std::string(ReplyBoxCaption));
    }
}

} // namespace selvo::device
