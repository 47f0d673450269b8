#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace selvo::device {

// The two lists the ticket push walks. In the program they are the data module's queries
// TimerAccessPointZQ (all access points, ascending timeraccesspointid) and TimerAccessTicketZQ (the
// card's tickets, ascending timeraccesspointid); the push positions them itself. UI thread only.
// A NULL id reads as 0.
class TimerAccessPointCursor
{
public:
    virtual ~TimerAccessPointCursor() = default;
    virtual void First() = 0;
    virtual void Next() = 0;
    // True once the cursor stands past the last row (and on an empty list).
    virtual bool Eof() const = 0;

    virtual std::int64_t TimerAccessPointId() const = 0;
    virtual std::string LocalIp() const = 0;
    virtual std::int64_t UdpPort() const = 0;
    virtual bool AllAccess() const = 0;
    // The point's name as the porter knows it (Windows-1250 bytes); only the delivery report shows it.
    virtual std::string Name() const { return {}; }
};

class TimerAccessTicketCursor
{
public:
    virtual ~TimerAccessTicketCursor() = default;
    virtual void First() = 0;
    virtual void Next() = 0;
    virtual bool Eof() const = 0;

    virtual std::int64_t TimerAccessTicketId() const = 0;
    virtual std::int64_t TimerAccessPointId() const = 0;
    // The card's code as the query computes it; empty when the ticket's card row is missing.
    virtual std::optional<double> EmployeeCardCode() const = 0;
};

} // namespace selvo::device
