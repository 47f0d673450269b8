#include "DeliveryReport.h"

#include <algorithm>

namespace selvo::device {

namespace {

// Windows-1250 bytes: 0xF0 is the letter d with stroke.
constexpr std::string_view ReportLead = "Ure\xf0"
                                        "aji: ";
constexpr std::string_view EntrySeparator = "; ";
constexpr std::string_view NameSeparator = ": ";

} // namespace

std::string_view DeliveryStateText(DeliveryState state)
{
    switch (state) {
    case DeliveryState::Confirmed:
        return "potvr\xf0"
               "eno";
    case DeliveryState::Refused:
        return "odbijeno";
    case DeliveryState::Unclear:
        return "nejasan odgovor";
    case DeliveryState::NoReply:
        return "bez odgovora";
    case DeliveryState::NoTicket:
        return "nema tiketa";
    case DeliveryState::Unreachable:
        return "nije dostupan";
    case DeliveryState::NotSent:
        return "nije poslato";
    }
    return {};
}

std::string DeliveryReportText(const DeliveryReport& report)
{
    std::string text(ReportLead);
    for (std::size_t i = 0; i < report.size(); ++i) {
        if (i > 0) {
            text += EntrySeparator;
        }
        text += report[i].Name;
        text += NameSeparator;
        text += DeliveryStateText(report[i].State);
    }
    return text;
}

bool DeliveryWantsAttention(const DeliveryReport& report)
{
    return std::any_of(report.begin(), report.end(), [](const PointDelivery& point) {
        return point.State != DeliveryState::Confirmed && point.State != DeliveryState::NoTicket;
    });
}

} // namespace selvo::device
