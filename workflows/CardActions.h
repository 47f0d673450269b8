#pragma once

#include <optional>

namespace selvo::data {
class TTavrinReserveGuestDM;
}
namespace selvo::device {
class DeviceLink;
}

namespace selvo::workflows {

class Clock;
class Operator;

// The four card actions of the main window: lending and return of a spare card, start and end of a
// guest visit. Each runs to completion: it checks the selected card, may run a dialog through the
// operator, writes rows, pushes the card's tickets to the access points, re-reads its list and ends
// with a message. Database and device failures propagate to the caller (the window's general error
// report); the wait cursor is restored on every way out. With no selected card an action does nothing.
// UI thread only.
class CardActions final
{
public:
    CardActions(data::TTavrinReserveGuestDM& dm, device::DeviceLink& link, Operator& op);
    // With another clock for the end time of a visit (tests).
    CardActions(data::TTavrinReserveGuestDM& dm, device::DeviceLink& link, Operator& op, const Clock& clock);
    CardActions(const CardActions&) = delete;
    CardActions& operator=(const CardActions&) = delete;

    void ConnectButtonClick(); // lend the selected spare card
    void RemoveButtonClick();  // take the selected spare card back
    void StartButtonClick();   // start a visit on the selected guest card
    void StopButtonClick();    // end the visit of the selected guest card

private:
    void ReopenAccessPoints();
    void OpenTickets(int cardId);
    void AppendTickets(int cardId, int employeeId, double cardCode, std::optional<int> timerGuestId);
    bool PushTickets(bool enable);
    bool AdmitAtPoints(int cardId, int employeeId, double cardCode, std::optional<int> timerGuestId);
    bool WithdrawFromPoints(int cardId);

    data::TTavrinReserveGuestDM& m_dm;
    device::DeviceLink& m_link;
    Operator& m_operator;
    const Clock& m_clock;
};

} // namespace selvo::workflows
