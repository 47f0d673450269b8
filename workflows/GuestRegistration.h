#pragma once

#include <string>

namespace selvo::data {
class TTavrinReserveGuestDM;
}

namespace selvo::workflows {

class Clock;

// The texts in the guest dialog's edits when the operator accepts (Windows-1250 bytes).
struct GuestEntry
{
    std::string LastName;              // lnameDBE
    std::string FirstName;             // fnameDBE
    std::string PersonalIdentificator; // personalDBE
    std::string RegCode;               // regcodeDBE, identity card number
    std::string Description;           // descDBM
};

enum class GuestAcceptance
{
    FieldsMissing, // the operator is to be shown MissingFieldsText; the dialog stays open
    Accepted,      // the visit row is written; the dialog closes
};

// The logic of the guest registration dialog TGuestForm over the appended row of GuestZQ. Database
// failures propagate to the caller, with the row still being inserted. UI thread only.
class GuestRegistration final
{
public:
    GuestRegistration(data::TTavrinReserveGuestDM& dm, const Clock& clock);
    GuestRegistration(const GuestRegistration&) = delete;
    GuestRegistration& operator=(const GuestRegistration&) = delete;

    // Checks first name, last name, then personal number or identity card number (a text of blanks
    // counts as filled in); then puts the texts into the row, binds it to the selected guest card,
    // stamps the start time now, posts it and sets GuestAccepted.
    GuestAcceptance OkButtonClick(const GuestEntry& entry);

    // Discards the appended row.
    void CancelButtonClick();

private:
    data::TTavrinReserveGuestDM& m_dm;
    const Clock& m_clock;
};

} // namespace selvo::workflows
