#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace selvo::device {

// What became of a card at one all-access point during a push, as far as the push and the reply
// listener can tell. The listener decides which frame a reply belongs to; nothing here matches
// replies on its own.
enum class DeliveryState
{
    Confirmed,   // every frame sent got an intact "OK" reply
    Refused,     // at least one frame got "NO"
    Unclear,     // at least one reply had another status, none was "NO"
    NoReply,     // at least one frame went unanswered while the point's endpoint was open
    NoTicket,    // the card has no ticket for the point: nothing was sent
    Unreachable, // the endpoint could not be opened for the point, or a send to it failed
    NotSent,     // the push ended before it reached the point
};

struct PointDelivery
{
    std::string Name; // the point's `name`, Windows-1250 bytes
    DeliveryState State = DeliveryState::NotSent;

    bool operator==(const PointDelivery&) const = default;
};

// One entry per all-access point the push was to serve, in the push's order.
using DeliveryReport = std::vector<PointDelivery>;

// The state as the porter reads it (Windows-1250 bytes).
std::string_view DeliveryStateText(DeliveryState state);

// "Uređaji: " and one "name: state" entry per point, joined by "; " (Windows-1250 bytes).
std::string DeliveryReportText(const DeliveryReport& report);

// True when a point has anything but a confirmation or no ticket: the porter should look.
bool DeliveryWantsAttention(const DeliveryReport& report);

// Told by the ticket push when it begins and when it has ended, whichever way it ended (a point that
// could not be reached, an error). The report is complete: every receiving thread has ended by then.
// UI thread only.
class DeliveryWatcher
{
public:
    virtual ~DeliveryWatcher() = default;
    virtual void PushBegins() = 0;
    virtual void PushEnded(const DeliveryReport& report) = 0;
};

} // namespace selvo::device
