#include "GuestRegistration.h"

#include "Clock.h"
#include "TavrinReserveGuestDM.h"

namespace selvo::workflows {

namespace {

// An edit left empty leaves its column NULL.
void PutText(data::TField& field, const std::string& text)
{
    if (text.empty()) {
        field.Clear();
    } else {
        field.SetAsString(text);
    }
}

bool Editing(const data::TZQuery& query)
{
    return query.State() == data::DataSetState::Edit || query.State() == data::DataSetState::Insert;
}

} // namespace

GuestRegistration::GuestRegistration(data::TTavrinReserveGuestDM& dm, const Clock& clock) : m_dm(dm), m_clock(clock) {}

GuestAcceptance GuestRegistration::OkButtonClick(const GuestEntry& entry)
{
    if (entry.FirstName.empty() || entry.LastName.empty() ||
        (entry.PersonalIdentificator.empty() && entry.RegCode.empty())) {
        return GuestAcceptance::FieldsMissing;
    }
    PutText(m_dm.GuestZQlastname, entry.LastName);
    PutText(m_dm.GuestZQfirstname, entry.FirstName);
    PutText(m_dm.GuestZQpersonalidentificator, entry.PersonalIdentificator);
    PutText(m_dm.GuestZQregcode, entry.RegCode);
    PutText(m_dm.GuestZQdescription, entry.Description);
    m_dm.GuestZQemployeecardid.SetAsInteger(m_dm.GuestCardZQemployeecardid.AsInteger());
    m_dm.GuestZQstartdatetime.SetAsDateTime(m_clock.Now());
    m_dm.GuestZQ.Post();
    m_dm.GuestAccepted = true;
    return GuestAcceptance::Accepted;
}

void GuestRegistration::CancelButtonClick()
{
    if (Editing(m_dm.GuestZQ)) {
        m_dm.GuestZQ.Cancel();
    }
}

} // namespace selvo::workflows
