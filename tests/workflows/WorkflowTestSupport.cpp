#include "WorkflowTestSupport.h"

#include "EmployeeSearch.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace selvo::workflows::test {

void FakeClock::Advance(std::chrono::seconds seconds)
{
    std::tm parts{};
    parts.tm_year = Time.Year - 1900;
    parts.tm_mon = Time.Month - 1;
    parts.tm_mday = Time.Day;
    parts.tm_hour = Time.Hour;
    parts.tm_min = Time.Minute;
    parts.tm_sec = Time.Second;
    const std::time_t moved = ::timegm(&parts) + static_cast<std::time_t>(seconds.count());
    std::tm out{};
    ::gmtime_r(&moved, &out);
    Time = {out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec};
}

class ScriptedOperator::Cursor final : public WaitCursor
{
public:
    explicit Cursor(ScriptedOperator& op) : m_operator(op)
    {
        ++m_operator.m_cursorDepth;
        m_operator.Record("cursor on");
    }
    ~Cursor() override
    {
        --m_operator.m_cursorDepth;
        m_operator.Record("cursor off");
    }
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

private:
    ScriptedOperator& m_operator;
};

void ScriptedOperator::ShowMessage(const std::string& text)
{
    Record("message:" + text);
}

std::unique_ptr<WaitCursor> ScriptedOperator::ShowWaitCursor()
{
    return std::make_unique<Cursor>(*this);
}

void ScriptedOperator::RunEmployeeDialog()
{
    Record("employee dialog");
    if (EmployeeDialog) {
        EmployeeDialog();
    }
}

void ScriptedOperator::RunGuestDialog()
{
    Record("guest dialog");
    if (GuestDialog) {
        GuestDialog();
    }
}

std::optional<int> ScriptedOperator::SelectedCard(CardList list)
{
    data::TZQuery& query = list == CardList::Spare ? m_dm.SpareCardZQ : m_dm.GuestCardZQ;
    if (!query.Active() || query.IsEmpty()) {
        return std::nullopt;
    }
    return query.RecNo();
}

void ScriptedOperator::Record(std::string event)
{
    std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
}

std::vector<std::string> ScriptedOperator::Events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

std::vector<std::string> ScriptedOperator::Messages() const
{
    std::vector<std::string> messages;
    for (const std::string& event : Events()) {
        if (event.rfind("message:", 0) == 0) {
            messages.push_back(event.substr(8));
        }
    }
    return messages;
}

void ClockSleeper::Sleep(std::chrono::milliseconds duration)
{
    Pauses.push_back(duration);
    m_operator.Record("pause " + std::to_string(duration.count()) +
                      " cursor=" + std::to_string(m_operator.CursorDepth()));
    m_clock.Advance(std::chrono::duration_cast<std::chrono::seconds>(duration));
    // Long enough for a reply to come back while the endpoint is open.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void RecordingReplyBox::ShowError(const std::string& text, const std::string& caption)
{
    std::lock_guard lock(m_mutex);
    m_texts.push_back(caption + ": " + text);
}

std::vector<std::string> RecordingReplyBox::Texts() const
{
    std::lock_guard lock(m_mutex);
    return m_texts;
}

Desk::Desk()
{
    OpenDesk();
}

Desk::Desk(const selvo::test::ServerAddress& server) : Db(server, selvo::test::TestDatabase::UniqueName())
{
    OpenDesk();
}

void Desk::OpenDesk()
{
    Db.Configure(Dm.ZConnection);
    Dm.ZConnection.Connect();
    Dm.SpareCardZQ.SetSQL(std::string(data::SpareCardListSql));
    Dm.GuestCardZQ.SetSQL(std::string(data::GuestCardListSql));
}

namespace {

std::string Quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out + "'";
}

std::string OrNull(std::optional<int> value)
{
    return value ? std::to_string(*value) : "NULL";
}

} // namespace

int Desk::AddEmployee(const std::string& lastName, const std::string& firstName, const char* active,
                      const std::string& code, const std::string& personalId)
{
    Db.Exec("INSERT INTO employee (lastname, firstname, personalidentificator, code, active) VALUES (" +
            Quoted(lastName) + "," + Quoted(firstName) + "," + (personalId.empty() ? "NULL" : Quoted(personalId)) +
            "," + (code.empty() ? "NULL" : Quoted(code)) + "," +
            (active == nullptr ? std::string("NULL") : Quoted(active)) + ")");
    return std::stoi(Value("SELECT MAX(employeeid) FROM employee"));
}

int Desk::AddCard(const std::string& name, std::int64_t cardCode, const std::string& comment,
                  std::optional<int> employeeId)
{
    Db.Exec("INSERT INTO employeecard (employeeid, cardcode, name, active, comment) VALUES (" + OrNull(employeeId) +
            "," + std::to_string(cardCode) + "," + Quoted(name) + ",'Y'," + Quoted(comment) + ")");
    return std::stoi(Value("SELECT MAX(employeecardid) FROM employeecard"));
}

int Desk::AddPoint(const std::string& localIp, int udpPort, bool allAccess)
{
    Db.Exec("INSERT INTO timeraccesspoint (name, macaddress, localip, publicip, udpport, tcpport, currentdeviceindex, "
            "active, allaccess, readaccess, outdoor) VALUES ('Vrata','00:00:00:00:00:00'," +
            Quoted(localIp) + ",'0.0.0.0'," + std::to_string(udpPort) + ",0,0,'Y'," + (allAccess ? "'Y'" : "'N'") +
            ",'Y','N')");
    return std::stoi(Value("SELECT MAX(timeraccesspointid) FROM timeraccesspoint"));
}

int Desk::AddTicket(int pointId, int cardId, std::optional<int> employeeId, std::optional<int> guestId)
{
    Db.Exec("INSERT INTO timeraccessticket (timeraccesspointid, employeecardid, employeeid, timerguestid, active) "
            "VALUES (" +
            std::to_string(pointId) + "," + std::to_string(cardId) + "," + OrNull(employeeId) + "," + OrNull(guestId) +
            ",'Y')");
    return std::stoi(Value("SELECT MAX(timeraccessticketid) FROM timeraccessticket"));
}

void Desk::OpenLists()
{
    Dm.SpareCardZQ.Close();
    Dm.SpareCardZQ.Open();
    Dm.GuestCardZQ.Close();
    Dm.GuestCardZQ.Open();
}

void Desk::Select(CardList list, int cardId)
{
    data::TZQuery& query = list == CardList::Spare ? Dm.SpareCardZQ : Dm.GuestCardZQ;
    data::TField& key = list == CardList::Spare ? Dm.SpareCardZQemployeecardid : Dm.GuestCardZQemployeecardid;
    for (query.First(); !query.Eof(); query.Next()) {
        if (key.AsInteger() == cardId) {
            return;
        }
    }
    throw std::runtime_error("card " + std::to_string(cardId) + " is not in its list");
}

void Desk::Mark()
{
    m_markThread = Dm.ZConnection.ThreadId();
    m_mark = m_markThread == 0 ? 0 : Db.StatementsOf(m_markThread).size();
}

std::vector<std::string> Desk::StatementsSinceMark()
{
    // The statements of the connection marked, after the mark; after a reconnection also every
    // statement of the new connection.
    std::vector<std::string> sent;
    if (m_markThread != 0) {
        std::vector<std::string> all = Db.StatementsOf(m_markThread, selvo::test::LineEnds::Drop);
        sent.assign(all.begin() + static_cast<std::ptrdiff_t>(std::min(m_mark, all.size())), all.end());
    }
    const unsigned long now = Dm.ZConnection.ThreadId();
    if (now != 0 && now != m_markThread) {
        std::vector<std::string> all = Db.StatementsOf(now, selvo::test::LineEnds::Drop);
        sent.insert(sent.end(), all.begin(), all.end());
    }
    return sent;
}

std::string Desk::Value(const std::string& sql)
{
    return Db.Scalar(sql).value_or("");
}

PortBlocker::PortBlocker(int port)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        throw std::runtime_error("cannot hold UDP port " + std::to_string(port));
    }
}

PortBlocker::~PortBlocker()
{
    ::close(m_fd);
}

std::vector<device::test::SimFrame> Door::Frames(std::size_t count) const
{
    if (count == 0) {
        // Asked for none: give a stray frame time to arrive.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return Sim->Frames(count, std::chrono::milliseconds(3000));
}

Door& NetDesk::AddDoor(bool allAccess, const std::string& mode)
{
    if (Hosts.empty()) {
        throw std::runtime_error("no door hosts");
    }
    auto door = std::make_unique<Door>();
    std::vector<std::uint16_t> taken;
    for (const auto& other : Doors) {
        taken.push_back(other->Port);
    }
    do {
        door->Port = device::test::FreeUdpPort();
    } while (std::find(taken.begin(), taken.end(), door->Port) != taken.end());
    const device::test::DoorHost& host = Hosts[Doors.size() % Hosts.size()];
    door->Sim = std::make_unique<device::test::SimulatedAccessPoint>(host, door->Port, mode);
    door->PointId = AddPoint(host.DoorAddress, door->Port, allAccess);
    Doors.push_back(std::move(door));
    return *Doors.back();
}

// The porter's events of a successful action: every pause under the hourglass, the message after it.
void ExpectCursorAroundTheWork(const ScriptedOperator& porter)
{
    const std::vector<std::string> events = porter.Events();
    EXPECT_EQ(porter.CursorDepth(), 0);
    bool on = false;
    for (const std::string& event : events) {
        if (event == "cursor on") {
            on = true;
        } else if (event == "cursor off") {
            on = false;
        } else if (event.rfind("pause", 0) == 0) {
            EXPECT_TRUE(on) << event;
            EXPECT_NE(event.find("cursor=1"), std::string::npos) << event;
        } else if (event.rfind("message:", 0) == 0) {
            EXPECT_FALSE(on) << "the closing message comes with the cursor back";
        }
    }
    EXPECT_FALSE(on);
}

std::vector<std::string> StartingWith(const std::vector<std::string>& statements, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& statement : statements) {
        if (statement.rfind(prefix, 0) == 0) {
            found.push_back(statement);
        }
    }
    return found;
}

std::function<void()> ChooseEmployee(data::TTavrinReserveGuestDM& dm, std::string lastName)
{
    return [&dm, lastName] {
        EmployeeSearch search(dm);
        search.FindButtonClick({lastName, "", "", ""});
        search.OkButtonClick();
    };
}

} // namespace selvo::workflows::test
