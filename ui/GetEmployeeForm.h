#pragma once

#include <QDialog>

#include "EmployeeSearch.h"

class QKeyEvent;
class QPushButton;
class QTableView;
class QTableWidget;

namespace selvo::data {
class TTavrinReserveGuestDM;
}

namespace selvo::ui {

class EmployeeGridModel;

// The employee search dialog "Izaberite zaposlenog": four search values in SearchVLE (Enter there
// searches), the active employees without a card in mainDBG, "&U redu" binds the selected one to the
// spare card that was selected when the dialog was made. Create it on the stack and exec() it; a
// database error in a handler goes to the general error report and the dialog stays open.
// UI thread only.
class TGetEmployeeForm final : public QDialog
{
    Q_OBJECT

public:
    // FormCreate: takes the selected spare card (ChosenCardId).
    explicit TGetEmployeeForm(data::TTavrinReserveGuestDM& dm, QWidget* parent = nullptr);
    ~TGetEmployeeForm() override;
    TGetEmployeeForm(const TGetEmployeeForm&) = delete;
    TGetEmployeeForm& operator=(const TGetEmployeeForm&) = delete;

    // The four values as typed, Windows-1250 bytes, in the editor's row order.
    workflows::SearchValues Values() const;

    void FindButtonClick();
    // `key` is the virtual key code; 13 (Enter) searches, others are left to the editor.
    bool SearchVLEKeyDown(int key);
    void OkButtonClick();
    void cancelBTNClick();
    // Tab (forward) or Shift+Tab out of a value being edited: the next control of the tab order.
    void LeaveSearchVLE(bool forward);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();

    data::TTavrinReserveGuestDM& m_dm;
    workflows::EmployeeSearch m_search;

    // Owned by their Qt parents.
    QTableWidget* m_searchVLE = nullptr;
    QPushButton* m_findButton = nullptr;
    EmployeeGridModel* m_employeeModel = nullptr;
    QTableView* m_mainDBG = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelBTN = nullptr;
};

} // namespace selvo::ui
