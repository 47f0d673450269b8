#pragma once

#include "PushLists.h"

namespace selvo::data {
class TTavrinReserveGuestDM;
}

namespace selvo::workflows {

// TimerAccessPointZQ as the ticket push walks it. UI thread only.
class TimerAccessPointZQCursor final : public device::TimerAccessPointCursor
{
public:
    explicit TimerAccessPointZQCursor(data::TTavrinReserveGuestDM& dm) : m_dm(dm) {}

    void First() override;
    void Next() override;
    bool Eof() const override;
    std::int64_t TimerAccessPointId() const override;
    std::string LocalIp() const override;
    std::int64_t UdpPort() const override;
    bool AllAccess() const override;
    std::string Name() const override;

private:
    data::TTavrinReserveGuestDM& m_dm;
};

// TimerAccessTicketZQ as the ticket push walks it. UI thread only.
class TimerAccessTicketZQCursor final : public device::TimerAccessTicketCursor
{
public:
    explicit TimerAccessTicketZQCursor(data::TTavrinReserveGuestDM& dm) : m_dm(dm) {}

    void First() override;
    void Next() override;
    bool Eof() const override;
    std::int64_t TimerAccessTicketId() const override;
    std::int64_t TimerAccessPointId() const override;
    std::optional<double> EmployeeCardCode() const override;

private:
    data::TTavrinReserveGuestDM& m_dm;
};

} // namespace selvo::workflows
