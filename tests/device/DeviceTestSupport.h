#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DeviceFrame.h"
#include "PlainMessage.h"
#include "PushLists.h"
#include "Sleeper.h"
#include "UdpEndpoint.h"
#include "WorkerMessageBox.h"

namespace selvo::device::test {

// One ordered record of what the push did, shared by the stand-ins of a test. Any thread.
class EventLog final
{
public:
    void Add(std::string event);
    std::vector<std::string> Events() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

class RecordingMessages final : public PlainMessage
{
public:
    void ShowMessage(const std::string& text) override { Texts.push_back(text); }
    std::vector<std::string> Texts;
};

// The receiving thread's error box: records each box and, when held, stays "open" until released.
class RecordingReplyBox final : public WorkerMessageBox
{
public:
    struct Box
    {
        std::string Text;
        std::string Caption;
        std::thread::id Thread;
    };

    void ShowError(const std::string& text, const std::string& caption) override;

    void HoldOpen();
    void Release();
    // Waits until `count` boxes have been shown (or the timeout passed); true when they have.
    bool WaitForBoxes(std::size_t count, std::chrono::milliseconds timeout) const;
    std::vector<Box> Boxes() const;
    std::vector<std::string> Texts() const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Box> m_boxes;
    bool m_hold = false;
};

// Records every pause; sleeps for real only duration / divisor (0: not at all).
class RecordingSleeper final : public Sleeper
{
public:
    explicit RecordingSleeper(EventLog* log = nullptr, int divisor = 0) : m_log(log), m_divisor(divisor) {}
    void Sleep(std::chrono::milliseconds duration) override;
    std::vector<std::chrono::milliseconds> Pauses;

private:
    EventLog* m_log;
    int m_divisor;
};

struct PointRow
{
    std::int64_t Id = 0;
    std::string LocalIp;
    std::int64_t UdpPort = 0;
    bool AllAccess = true;
};

struct TicketRow
{
    std::int64_t Id = 0;
    std::int64_t PointId = 0;
    std::optional<double> CardCode;
};

class ListPoints final : public TimerAccessPointCursor
{
public:
    explicit ListPoints(std::vector<PointRow> rows) : Rows(std::move(rows)), Position(Rows.size() / 2) {}
    void First() override { Position = 0; }
    void Next() override;
    bool Eof() const override { return Position >= Rows.size(); }
    std::int64_t TimerAccessPointId() const override { return Row().Id; }
    std::string LocalIp() const override { return Row().LocalIp; }
    std::int64_t UdpPort() const override { return Row().UdpPort; }
    bool AllAccess() const override { return Row().AllAccess; }
    std::string Name() const override { return Position < Names.size() ? Names[Position] : std::string(); }

    std::vector<PointRow> Rows;
    std::size_t Position;
    std::vector<std::string> Names; // by row; a row without one has an empty name

private:
    const PointRow& Row() const;
};

class ListTickets final : public TimerAccessTicketCursor
{
public:
    explicit ListTickets(std::vector<TicketRow> rows) : Rows(std::move(rows)), Position(Rows.size()) {}
    void First() override { Position = 0; }
    void Next() override;
    bool Eof() const override { return Position >= Rows.size(); }
    std::int64_t TimerAccessTicketId() const override { return Row().Id; }
    std::int64_t TimerAccessPointId() const override { return Row().PointId; }
    std::optional<double> EmployeeCardCode() const override { return Row().CardCode; }

    std::vector<TicketRow> Rows;
    std::size_t Position;

private:
    const TicketRow& Row() const;
};

// An endpoint without sockets: records openings, frames and closings in the log, and fails on request.
class RecordingEndpoint final : public UdpEndpoint
{
public:
    struct Sent
    {
        std::string Host;
        std::int32_t Port;
        std::int32_t LocalPort;
        DeviceFrame Frame;
        std::uint8_t ReplyStateAtSend;
    };

    explicit RecordingEndpoint(EventLog& log) : m_log(log) {}

    void SetDefaultPort(std::int32_t port) override { m_port = port; }
    void SetOnUDPRead(DatagramHandler handler) override { Handler = std::move(handler); }
    void SetBroadcastEnabled(bool enabled) override { Broadcast = enabled; }
    void Open() override;
    bool IsOpen() const override { return m_open; }
    void Send(const std::string& host, std::int32_t port, std::span<const std::uint8_t> bytes) override;
    void Close() override;

    std::set<std::int32_t> FailOpenOnPorts;
    std::set<std::int32_t> StayOpenOnPorts;
    std::set<std::int32_t> ThrowOnCloseOnPorts;
    std::set<std::string> UnresolvableHosts;
    const std::atomic<std::uint8_t>* ReplyState = nullptr;
    DatagramHandler Handler;
    bool Broadcast = false;
    std::vector<Sent> Frames;

private:
    EventLog& m_log;
    std::int32_t m_port = 0;
    std::int32_t m_openPort = 0;
    bool m_open = false;
};

// A payload's ticket id as the frame carries it.
std::uint32_t FrameTicketId(const DeviceFrame& frame);

} // namespace selvo::device::test
