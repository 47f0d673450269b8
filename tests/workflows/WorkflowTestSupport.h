#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CardActions.h"
#include "Clock.h"
#include "DeviceLink.h"
#include "DoorHosts.h"
#include "Operator.h"
#include "TavrinReserveGuestDM.h"
#include "TestServer.h"

namespace selvo::workflows::test {

// A clock the test moves; the sleeper below moves it by every pause.
class FakeClock final : public Clock
{
public:
    data::DateTime Now() const override { return Time; }
    void Advance(std::chrono::seconds seconds);
    data::DateTime Time{2026, 3, 5, 14, 7, 9};
};

// What the porter saw and did, in order: "message:<text>", "cursor on", "cursor off",
// "employee dialog", "guest dialog", "pause <ms> cursor=<0|1>".
class ScriptedOperator final : public Operator, public device::PlainMessage
{
public:
    explicit ScriptedOperator(data::TTavrinReserveGuestDM& dm) : m_dm(dm) {}

    void ShowMessage(const std::string& text) override;
    std::unique_ptr<WaitCursor> ShowWaitCursor() override;
    void RunEmployeeDialog() override;
    void RunGuestDialog() override;
    // The query's current row, as the grid highlights it; nothing for a closed or empty list.
    std::optional<int> SelectedCard(CardList list) override;

    std::vector<std::string> Messages() const;
    std::vector<std::string> Events() const;
    void Record(std::string event);
    int CursorDepth() const { return m_cursorDepth; }

    // What the dialogs do while "open" (nothing: the operator closes them without a word).
    std::function<void()> EmployeeDialog;
    std::function<void()> GuestDialog;

private:
    class Cursor;
    data::TTavrinReserveGuestDM& m_dm;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
    int m_cursorDepth = 0;
};

// The push's pauses: recorded (with whether the hourglass shows), moving the clock, barely sleeping.
class ClockSleeper final : public device::Sleeper
{
public:
    ClockSleeper(FakeClock& clock, ScriptedOperator& op) : m_clock(clock), m_operator(op) {}
    void Sleep(std::chrono::milliseconds duration) override;
    std::vector<std::chrono::milliseconds> Pauses;

private:
    FakeClock& m_clock;
    ScriptedOperator& m_operator;
};

class RecordingReplyBox final : public device::WorkerMessageBox
{
public:
    void ShowError(const std::string& text, const std::string& caption) override;
    std::vector<std::string> Texts() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

// The gatehouse desk on a fresh test database: the data module connected to it with both card lists
// open, the device link on real sockets, the scripted porter and the four actions.
class Desk
{
public:
    Desk();
    // The desk on another server than the fixture's (a private one that a test restarts).
    explicit Desk(const selvo::test::ServerAddress& server);
    virtual ~Desk() = default;
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    int AddEmployee(const std::string& lastName, const std::string& firstName, const char* active = "Y",
                    const std::string& code = "", const std::string& personalId = "");
    // comment: "REZERVA" (spare card) or "GOST" (guest card).
    int AddCard(const std::string& name, std::int64_t cardCode, const std::string& comment,
                std::optional<int> employeeId = std::nullopt);
    int AddPoint(const std::string& localIp, int udpPort, bool allAccess);
    int AddTicket(int pointId, int cardId, std::optional<int> employeeId, std::optional<int> guestId = std::nullopt);

    // Re-opens both card lists (after rows were added behind the data module's back).
    void OpenLists();
    // Makes the card the current row of its list.
    void Select(CardList list, int cardId);

    // Statements this data module's connections sent since the last Mark() (trailing CR LF dropped):
    // the one connected at the mark and, after a reconnection, the new one.
    void Mark();
    std::vector<std::string> StatementsSinceMark();

    // The single value of a query on the admin connection ("" for NULL).
    std::string Value(const std::string& sql);
    std::vector<selvo::test::Row> Rows(const std::string& sql) { return Db.Query(sql); }

    selvo::test::TestDatabase Db;
    data::TTavrinReserveGuestDM Dm;
    ScriptedOperator Porter{Dm};
    FakeClock TestClock;
    ClockSleeper Pauses{TestClock, Porter};
    RecordingReplyBox ReplyBox;
    device::DeviceLink Link{Porter, ReplyBox, Pauses};
    CardActions Actions{Dm, Link, Porter, TestClock};

private:
    void OpenDesk();

    unsigned long m_markThread = 0;
    std::size_t m_mark = 0;
};

// Holds a UDP port on every local address so that the device link cannot open its endpoint there.
class PortBlocker final
{
public:
    explicit PortBlocker(int port);
    ~PortBlocker();
    PortBlocker(const PortBlocker&) = delete;
    PortBlocker& operator=(const PortBlocker&) = delete;

private:
    int m_fd = -1;
};

// An access point row of the desk's database with a simulated door controller behind it, in a door host.
struct Door
{
    int PointId = 0;
    std::uint16_t Port = 0;
    std::unique_ptr<device::test::SimulatedAccessPoint> Sim;

    // The frames the door has logged so far (waiting until `count` have come).
    std::vector<device::test::SimFrame> Frames(std::size_t count = 0) const;
};

// The desk with doors. SetUpDoors() belongs in the test's SetUp: without door hosts it skips the test
// (fails it in CI).
class NetDesk : public Desk
{
public:
    using Desk::Desk;
    // Adds an access point with a simulated door listening on its address and UDP port.
    Door& AddDoor(bool allAccess, const std::string& mode = "ok");

    std::vector<device::test::DoorHost> Hosts;
    std::vector<std::unique_ptr<Door>> Doors;
};

// The porter's events of a successful action: every pause under the hourglass, the message after it,
// and the cursor back at the end (gtest expectations).
void ExpectCursorAroundTheWork(const ScriptedOperator& porter);

// Statements of a list that begin with a prefix.
std::vector<std::string> StartingWith(const std::vector<std::string>& statements, const std::string& prefix);

// The employee dialog as a porter uses it: search by last name, confirm the first row found.
std::function<void()> ChooseEmployee(data::TTavrinReserveGuestDM& dm, std::string lastName);

// A text constant as a string, for comparing lists of messages.
inline std::string S(std::string_view text)
{
    return std::string(text);
}

} // namespace selvo::workflows::test
