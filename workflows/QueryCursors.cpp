#include "QueryCursors.h"

#include "TavrinReserveGuestDM.h"

namespace selvo::workflows {

void TimerAccessPointZQCursor::First()
{
    m_dm.TimerAccessPointZQ.First();
}

void TimerAccessPointZQCursor::Next()
{
    m_dm.TimerAccessPointZQ.Next();
}

bool TimerAccessPointZQCursor::Eof() const
{
    return m_dm.TimerAccessPointZQ.Eof();
}

std::int64_t TimerAccessPointZQCursor::TimerAccessPointId() const
{
    return m_dm.TimerAccessPointZQtimeraccesspointid.AsLargeInt();
}

std::string TimerAccessPointZQCursor::LocalIp() const
{
    return m_dm.TimerAccessPointZQlocalip.AsString();
}

std::int64_t TimerAccessPointZQCursor::UdpPort() const
{
    return m_dm.TimerAccessPointZQudpport.AsLargeInt();
}

bool TimerAccessPointZQCursor::AllAccess() const
{
    return m_dm.TimerAccessPointZQallaccess.AsBoolean();
}

std::string TimerAccessPointZQCursor::Name() const
{
    return m_dm.TimerAccessPointZQname.AsString();
}

void TimerAccessTicketZQCursor::First()
{
    m_dm.TimerAccessTicketZQ.First();
}

void TimerAccessTicketZQCursor::Next()
{
    m_dm.TimerAccessTicketZQ.Next();
}

bool TimerAccessTicketZQCursor::Eof() const
{
    return m_dm.TimerAccessTicketZQ.Eof();
}

std::int64_t TimerAccessTicketZQCursor::TimerAccessTicketId() const
{
    return m_dm.TimerAccessTicketZQtimeraccessticketid.AsLargeInt();
}

std::int64_t TimerAccessTicketZQCursor::TimerAccessPointId() const
{
    return m_dm.TimerAccessTicketZQtimeraccesspointid.AsLargeInt();
}

std::optional<double> TimerAccessTicketZQCursor::EmployeeCardCode() const
{
    if (m_dm.TimerAccessTicketZQemployeecardcode.IsNull()) {
        return std::nullopt;
    }
    return m_dm.TimerAccessTicketZQemployeecardcode.AsFloat();
}

} // namespace selvo::workflows
