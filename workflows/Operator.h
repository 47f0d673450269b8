#pragma once

#include <memory>
#include <optional>
#include <string>

namespace selvo::workflows {

enum class CardList
{
    Spare, // SpareCardZQ in SpareCardDBG
    Guest, // GuestCardZQ in GuestCardDBG
};

// The remembered screen cursor while an action works on tickets: the hourglass shows from its
// creation, and the cursor that was in force comes back when it goes, whichever way the action ends.
class WaitCursor
{
public:
    virtual ~WaitCursor() = default;
};

// How the card actions reach the porter: the main window implements it with Qt, tests with a
// scripted stand-in. UI thread only.
class Operator
{
public:
    virtual ~Operator() = default;

    // A plain modal message with one OK button; returns when it is closed.
    virtual void ShowMessage(const std::string& text) = 0;

    [[nodiscard]] virtual std::unique_ptr<WaitCursor> ShowWaitCursor() = 0;

    // The employee search dialog (TGetEmployeeForm), shown modally; returns when it has closed.
    virtual void RunEmployeeDialog() = 0;
    // The guest registration dialog (TGuestForm) over the appended visit row; returns when it has closed.
    virtual void RunGuestDialog() = 0;

    // The row of the list's query highlighted in its grid, which is the query's current row; nothing
    // when there is no selected card (the list is closed or empty).
    virtual std::optional<int> SelectedCard(CardList list) = 0;
};

} // namespace selvo::workflows
