#pragma once

#include <vector>

#include <QDialog>

#include "GuestRegistration.h"
#include "TDataSource.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace selvo::data {
class TField;
class TTavrinReserveGuestDM;
} // namespace selvo::data

namespace selvo::workflows {
class Clock;
}

namespace selvo::ui {

// The guest registration dialog "Gost" over the appended row of GuestZQ (through GuestDS): last name,
// first name, personal number, identity card number, description. Enter in a single-line edit
// accepts, Enter in the description adds a line, Esc and the close box cancel (the row is discarded).
// Accepting checks the fields, stamps the start time, writes the row and sets GuestAccepted. Create it
// on the stack and exec() it; a database error goes to the general error report and the dialog stays
// open with the row still being inserted. UI thread only.
class TGuestForm final : public QDialog, private data::DataSourceListener
{
    Q_OBJECT

public:
    TGuestForm(data::TTavrinReserveGuestDM& dm, QWidget* parent = nullptr);
    // With another clock for the start time (tests).
    TGuestForm(data::TTavrinReserveGuestDM& dm, const workflows::Clock& clock, QWidget* parent = nullptr);
    ~TGuestForm() override;
    TGuestForm(const TGuestForm&) = delete;
    TGuestForm& operator=(const TGuestForm&) = delete;

    // The texts in the edits now, Windows-1250 bytes.
    workflows::GuestEntry Entry() const;

    void FormCreate();
    void OkButtonClick();
    void CancelButtonClick();

public slots:
    // Esc and the close box: the same as "&Otkaži".
    void reject() override;

private:
    struct Binding
    {
        QWidget* Editor;
        data::TField* Field;
    };

    void CreateControls();
    QLineEdit* AddEdit(const char* name, const char* labelName, const char* label, int top, data::TField& field);
    void ShowFields();
    void PutIntoField(data::TField& field, const QString& text);

    void RowsReloaded(data::TDataSource& source) override;
    void CurrentRowChanged(data::TDataSource& source) override;
    void FieldChanged(data::TDataSource& source, const data::TField& field) override;

    data::TTavrinReserveGuestDM& m_dm;
    workflows::GuestRegistration m_registration;
    std::vector<Binding> m_bindings;
    bool m_showing = false; // the edits are being filled from the row
    bool m_putting = false; // an edit's text is going into the row

    // Owned by their Qt parents.
    QLineEdit* m_lnameDBE = nullptr;
    QLineEdit* m_fnameDBE = nullptr;
    QLineEdit* m_personalDBE = nullptr;
    QLineEdit* m_regcodeDBE = nullptr;
    QPlainTextEdit* m_descDBM = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_okButton = nullptr;
};

} // namespace selvo::ui
