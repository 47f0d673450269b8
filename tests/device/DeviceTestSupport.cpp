#include "DeviceTestSupport.h"

#include <stdexcept>

#include "DeviceError.h"

namespace selvo::device::test {

void EventLog::Add(std::string event)
{
    std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
}

std::vector<std::string> EventLog::Events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

void RecordingReplyBox::ShowError(const std::string& text, const std::string& caption)
{
    std::unique_lock lock(m_mutex);
    m_boxes.push_back({text, caption, std::this_thread::get_id()});
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_hold; });
}

void RecordingReplyBox::HoldOpen()
{
    std::lock_guard lock(m_mutex);
    m_hold = true;
}

void RecordingReplyBox::Release()
{
    std::lock_guard lock(m_mutex);
    m_hold = false;
    m_changed.notify_all();
}

bool RecordingReplyBox::WaitForBoxes(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_boxes.size() >= count; });
}

std::vector<RecordingReplyBox::Box> RecordingReplyBox::Boxes() const
{
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

std::vector<std::string> RecordingReplyBox::Texts() const
{
    std::vector<std::string> texts;
    for (const Box& box : Boxes()) {
        texts.push_back(box.Text);
    }
    return texts;
}

void RecordingSleeper::Sleep(std::chrono::milliseconds duration)
{
    Pauses.push_back(duration);
    if (m_log != nullptr) {
        m_log->Add("pause " + std::to_string(duration.count()));
    }
    if (m_divisor > 0) {
        std::this_thread::sleep_for(duration / m_divisor);
    }
}

void ListPoints::Next()
{
    if (Position < Rows.size()) {
        ++Position;
    }
}

const PointRow& ListPoints::Row() const
{
    if (Eof()) {
        throw std::logic_error("field read past the last access point");
    }
    return Rows[Position];
}

void ListTickets::Next()
{
    if (Position < Rows.size()) {
        ++Position;
    }
}

const TicketRow& ListTickets::Row() const
{
    if (Eof()) {
        throw std::logic_error("field read past the last ticket");
    }
    return Rows[Position];
}

void RecordingEndpoint::Open()
{
    if (m_open) {
        m_log.Add("open (already open on " + std::to_string(m_openPort) + ")");
        return;
    }
    m_log.Add("open " + std::to_string(m_port));
    if (FailOpenOnPorts.contains(m_port)) {
        return;
    }
    m_open = true;
    m_openPort = m_port;
}

void RecordingEndpoint::Send(const std::string& host, std::int32_t port, std::span<const std::uint8_t> bytes)
{
    if (!m_open) {
        throw DeviceError("not open");
    }
    if (UnresolvableHosts.contains(host)) {
        throw DeviceError("Cannot resolve host \"" + host + "\"");
    }
    Sent sent{host, port, m_openPort, {}, ReplyState != nullptr ? ReplyState->load() : std::uint8_t{0}};
    if (bytes.size() != sent.Frame.size()) {
        throw std::logic_error("a frame of " + std::to_string(bytes.size()) + " bytes");
    }
    std::copy(bytes.begin(), bytes.end(), sent.Frame.begin());
    Frames.push_back(sent);
    m_log.Add("frame " + std::to_string(FrameTicketId(sent.Frame)) + " to " + host + ":" + std::to_string(port));
}

void RecordingEndpoint::Close()
{
    m_log.Add("close " + std::to_string(m_openPort));
    if (ThrowOnCloseOnPorts.contains(m_openPort)) {
        throw DeviceError("close failed");
    }
    if (!StayOpenOnPorts.contains(m_openPort)) {
        m_open = false;
    }
}

std::uint32_t FrameTicketId(const DeviceFrame& frame)
{
    return DecodeUserWrite(frame).TicketId;
}

} // namespace selvo::device::test
