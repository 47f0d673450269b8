#include "CardActions.h"

#include <optional>
#include <string>

#include "Clock.h"
#include "DeviceLink.h"
#include "Operator.h"
#include "QueryCursors.h"
#include "TavrinReserveGuestDM.h"
#include "WorkflowTexts.h"

namespace selvo::workflows {

namespace {

// Makes the card highlighted in the list's grid the query's current row. False when there is no
// selected card: the list is closed or empty, so there is no row to work on.
bool SelectCard(Operator& op, CardList list, data::TZQuery& query)
{
    const std::optional<int> row = op.SelectedCard(list);
    if (!row || !query.Active() || query.IsEmpty() || *row < 0 || *row >= query.RecordCount()) {
        return false;
    }
    if (query.RecNo() != *row) {
        query.MoveTo(*row);
    }
    return query.RecNo() >= 0;
}

void SkipToAllAccess(data::TTavrinReserveGuestDM& dm)
{
    while (!dm.TimerAccessPointZQ.Eof() && !dm.TimerAccessPointZQallaccess.AsBoolean()) {
        dm.TimerAccessPointZQ.Next();
    }
}

// A row left being edited by a dialog that was closed without success: dropped, so that no later
// move of the list's cursor writes it behind the operator's back.
void DropPendingEdit(data::TZQuery& query)
{
    if (query.State() == data::DataSetState::Edit || query.State() == data::DataSetState::Insert) {
        query.Cancel();
    }
}

void RunStatement(data::TTavrinReserveGuestDM& dm, std::string statement)
{
    dm.UpdateZQ.SetSQL(std::move(statement));
    dm.UpdateZQ.ExecSQL();
}

} // namespace

CardActions::CardActions(data::TTavrinReserveGuestDM& dm, device::DeviceLink& link, Operator& op)
    : CardActions(dm, link, op, TheSystemClock())
{
}

CardActions::CardActions(data::TTavrinReserveGuestDM& dm, device::DeviceLink& link, Operator& op, const Clock& clock)
    : m_dm(dm), m_link(link), m_operator(op), m_clock(clock)
{
}

void CardActions::ReopenAccessPoints()
{
    m_dm.TimerAccessPointZQ.Close();
    m_dm.TimerAccessPointZQ.Open();
}

void CardActions::OpenTickets(int cardId)
{
    m_dm.TimerAccessTicketZQ.Close();
    m_dm.TimerAccessTicketZQ.ParamByName("IDEmployeeCard").SetAsInteger(cardId);
    m_dm.TimerAccessTicketZQ.Open();
}

// One new ticket per all-access point, in ascending point order, each written at once.
void CardActions::AppendTickets(int cardId, int employeeId, double cardCode, std::optional<int> timerGuestId)
{
    data::TZQuery& points = m_dm.TimerAccessPointZQ;
    data::TZQuery& tickets = m_dm.TimerAccessTicketZQ;
    points.First();
    SkipToAllAccess(m_dm);
    while (!points.Eof()) {
        tickets.Append();
        m_dm.TimerAccessTicketZQtimeraccesspointid.SetAsInteger(m_dm.TimerAccessPointZQtimeraccesspointid.AsInteger());
        m_dm.TimerAccessTicketZQemployeecardid.SetAsInteger(cardId);
        m_dm.TimerAccessTicketZQactive.SetAsBoolean(true);
        if (employeeId > 0) {
            m_dm.TimerAccessTicketZQemployeeid.SetAsInteger(employeeId);
        }
        if (timerGuestId) {
            m_dm.TimerAccessTicketZQtimerguestid.SetAsInteger(*timerGuestId);
        }
        m_dm.TimerAccessTicketZQemployeecardcode.SetAsFloat(cardCode);
        tickets.Post();
        points.Next();
        SkipToAllAccess(m_dm);
    }
}

bool CardActions::PushTickets(bool enable)
{
    TimerAccessPointZQCursor points(m_dm);
    TimerAccessTicketZQCursor tickets(m_dm);
    return m_link.PushTickets(enable, points, tickets);
}

// Gives the card its tickets and writes it into every all-access point: on its first use one new
// ticket per point, afterwards its own tickets re-pointed, to the visit when there is one, else to
// the employee. Existing tickets are neither added to nor removed. False when a point could not be
// reached (the operator has been told).
bool CardActions::AdmitAtPoints(int cardId, int employeeId, double cardCode, std::optional<int> timerGuestId)
{
    ReopenAccessPoints();
    OpenTickets(cardId);
    data::TZQuery& tickets = m_dm.TimerAccessTicketZQ;
    if (tickets.IsEmpty()) {
        AppendTickets(cardId, employeeId, cardCode, timerGuestId);
    } else {
        tickets.First();
        while (!tickets.Eof()) {
            tickets.Edit();
            if (timerGuestId) {
                m_dm.TimerAccessTicketZQtimerguestid.SetAsInteger(*timerGuestId);
            } else if (employeeId > 0) {
                m_dm.TimerAccessTicketZQemployeeid.SetAsInteger(employeeId);
            }
            tickets.Post();
            tickets.Next();
        }
    }
    OpenTickets(cardId); // again, for the new tickets' keys
    return PushTickets(true);
}

// Withdraws the card from every all-access point; a card without tickets has nothing to withdraw.
// False when a point could not be reached (the operator has been told).
bool CardActions::WithdrawFromPoints(int cardId)
{
    ReopenAccessPoints();
    OpenTickets(cardId);
    m_dm.TimerAccessTicketZQ.First();
    return m_dm.TimerAccessTicketZQ.IsEmpty() || PushTickets(false);
}

void CardActions::ConnectButtonClick()
{
    if (!SelectCard(m_operator, CardList::Spare, m_dm.SpareCardZQ)) {
        return;
    }
    if (!m_dm.SpareCardZQename.AsString().empty()) {
        m_operator.ShowMessage(std::string(CardAlreadyLentText));
        return;
    }

    m_dm.EmployeeChosen = false;
    m_operator.RunEmployeeDialog();
    if (!m_dm.EmployeeChosen) {
        // A refused post of the card row leaves it being edited with the employee set.
        DropPendingEdit(m_dm.SpareCardZQ);
        return;
    }

    auto waitCursor = m_operator.ShowWaitCursor();
    // The dialog has posted the chosen employee into the card row.
    if (!AdmitAtPoints(m_dm.SpareCardZQemployeecardid.AsInteger(), m_dm.SpareCardZQemployeeid.AsInteger(),
                       static_cast<double>(m_dm.SpareCardZQcardcode.AsLargeInt()), std::nullopt)) {
        return;
    }
    m_dm.SpareCardZQ.Refresh();
    waitCursor.reset();
    m_operator.ShowMessage(std::string(CardAddedText));
}

void CardActions::RemoveButtonClick()
{
    if (!SelectCard(m_operator, CardList::Spare, m_dm.SpareCardZQ)) {
        return;
    }
    if (m_dm.SpareCardZQename.AsString().empty()) {
        m_operator.ShowMessage(std::string(CardNotLentText));
        return;
    }

    auto waitCursor = m_operator.ShowWaitCursor();
    const int cardId = m_dm.SpareCardZQemployeecardid.AsInteger();
    // The card stays lent in the database unless every point has been told.
    if (!WithdrawFromPoints(cardId)) {
        return;
    }
    waitCursor.reset();

    const std::string key = std::to_string(cardId);
    RunStatement(m_dm, "UPDATE employeecard SET employeeid = NULL WHERE employeecardid = " + key);
    RunStatement(m_dm, "UPDATE timeraccessticket SET employeeid = NULL WHERE employeecardid = " + key);
    m_dm.SpareCardZQ.Refresh();
    m_operator.ShowMessage(std::string(CardRemovedText));
}

void CardActions::StartButtonClick()
{
    if (!SelectCard(m_operator, CardList::Guest, m_dm.GuestCardZQ)) {
        return;
    }
    if (!m_dm.GuestCardZQename.AsString().empty()) {
        m_operator.ShowMessage(std::string(CardAlreadyLentText));
        return;
    }

    // Re-opening drops a row an earlier dialog left unposted.
    m_dm.GuestZQ.Close();
    m_dm.GuestZQ.Open();
    m_dm.GuestZQ.Append();

    m_dm.GuestAccepted = false;
    m_operator.RunGuestDialog();
    if (!m_dm.GuestAccepted) {
        DropPendingEdit(m_dm.GuestZQ);
        return;
    }

    auto waitCursor = m_operator.ShowWaitCursor();
    if (!AdmitAtPoints(m_dm.GuestCardZQemployeecardid.AsInteger(), m_dm.GuestCardZQemployeeid.AsInteger(),
                       static_cast<double>(m_dm.GuestCardZQcardcode.AsLargeInt()),
                       m_dm.GuestZQtimerguestid.AsInteger())) {
        return;
    }
    m_dm.GuestCardZQ.Refresh();
    waitCursor.reset();
    m_operator.ShowMessage(std::string(CardAddedText));
}

void CardActions::StopButtonClick()
{
    if (!SelectCard(m_operator, CardList::Guest, m_dm.GuestCardZQ)) {
        return;
    }
    if (m_dm.GuestCardZQename.AsString().empty()) {
        m_operator.ShowMessage(std::string(CardNotLentText));
        return;
    }

    auto waitCursor = m_operator.ShowWaitCursor();
    const int cardId = m_dm.GuestCardZQemployeecardid.AsInteger();
    // The visit stays open unless every point has been told.
    if (!WithdrawFromPoints(cardId)) {
        return;
    }
    waitCursor.reset();

    // Taken now, after the push and its pauses.
    const std::string endTime = m_clock.Now().ToString();
    RunStatement(m_dm, "UPDATE timerguest SET employeecardid = NULL, enddatetime = '" + endTime +
                           "' WHERE employeecardid = " + std::to_string(cardId));
    m_dm.GuestCardZQ.Refresh();
    m_operator.ShowMessage(std::string(CardRemovedText));
}

} // namespace selvo::workflows
