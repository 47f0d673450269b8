#include "GuestForm.h"

#include <exception>

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "AnsiText.h"
#include "Clock.h"
#include "ErrorReport.h"
#include "TavrinReserveGuestDM.h"
#include "WorkflowTexts.h"

namespace selvo::ui {

namespace {

QFont Face(int pixelSize)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

bool Editing(const data::TZQuery& query)
{
    return query.State() == data::DataSetState::Edit || query.State() == data::DataSetState::Insert;
}

// The description's lines end in CR LF in the row, as the installation's other programs write them.
QString MemoText(const QPlainTextEdit& memo)
{
    QString text = memo.toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

QString EditorText(const QWidget* editor)
{
    if (const auto* line = qobject_cast<const QLineEdit*>(editor)) {
        return line->text();
    }
    return MemoText(*static_cast<const QPlainTextEdit*>(editor));
}

} // namespace

TGuestForm::TGuestForm(data::TTavrinReserveGuestDM& dm, QWidget* parent)
    : TGuestForm(dm, workflows::TheSystemClock(), parent)
{
}

TGuestForm::TGuestForm(data::TTavrinReserveGuestDM& dm, const workflows::Clock& clock, QWidget* parent)
    : QDialog(parent), m_dm(dm), m_registration(dm, clock)
{
    CreateControls();
    FormCreate();
    m_dm.GuestDS.AddListener(*this);
    ShowFields();
}

TGuestForm::~TGuestForm()
{
    m_dm.GuestDS.RemoveListener(*this);
    // The edits go after this object's members: nothing they say on their way may reach it.
    for (const Binding& binding : m_bindings) {
        binding.Editor->disconnect(this);
    }
}

void TGuestForm::FormCreate()
{
    setWindowTitle(QStringLiteral("Gost"));
}

QLineEdit* TGuestForm::AddEdit(const char* name, const char* labelName, const char* label, int top, data::TField& field)
{
    auto* caption = new QLabel(FromAnsi(label), this);
    caption->setObjectName(QString::fromLatin1(labelName));
    caption->move(8, top - 16);
    caption->adjustSize();
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(8, top, 200, 24);
    edit->setMaxLength(field.Size());
    caption->setBuddy(edit);
    m_bindings.push_back({edit, &field});
    // Typing goes into the row at once, as a data-bound edit does.
    connect(edit, &QLineEdit::textEdited, this, [this, &field](const QString& text) { PutIntoField(field, text); });
    return edit;
}

void TGuestForm::CreateControls()
{
    setObjectName(QStringLiteral("GuestForm"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(Face(13));
    setFixedSize(336, 413);

    m_lnameDBE = AddEdit("lnameDBE", "Label2", "Prezime*:", 24, m_dm.GuestZQlastname);
    m_fnameDBE = AddEdit("fnameDBE", "Label1", "Ime*:", 72, m_dm.GuestZQfirstname);
    m_personalDBE = AddEdit("personalDBE", "Label3", "JMBG*:", 120, m_dm.GuestZQpersonalidentificator);
    m_regcodeDBE = AddEdit("regcodeDBE", "Label4", "Broj li\xe8ne karte:", 168, m_dm.GuestZQregcode);

    auto* descCaption = new QLabel(QStringLiteral("Opis:"), this);
    descCaption->setObjectName(QStringLiteral("Label5"));
    descCaption->move(8, 200);
    descCaption->adjustSize();
    m_descDBM = new QPlainTextEdit(this);
    m_descDBM->setObjectName(QStringLiteral("descDBM"));
    m_descDBM->setGeometry(8, 216, 320, 121);
    m_descDBM->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_descDBM->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_descDBM->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_descDBM->setTabChangesFocus(true); // Tab moves on; Enter starts a new line
    m_bindings.push_back({m_descDBM, &m_dm.GuestZQdescription});
    connect(m_descDBM, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_showing) {
            PutIntoField(m_dm.GuestZQdescription, MemoText(*m_descDBM));
        }
    });

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(8, 348, 320, 2);

    m_cancelButton = new QPushButton(FromAnsi("&Otka\x9ei"), this);
    m_cancelButton->setObjectName(QStringLiteral("CancelButton"));
    m_cancelButton->setGeometry(232, 356, 95, 48);
    m_cancelButton->setFont(Face(16));
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });

    m_okButton = new QPushButton(QStringLiteral("&U redu"), this);
    m_okButton->setObjectName(QStringLiteral("OkButton"));
    m_okButton->setGeometry(132, 356, 95, 48);
    m_okButton->setFont(Face(16));
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, [this] { OkButtonClick(); });

    setTabOrder(m_lnameDBE, m_fnameDBE);
    setTabOrder(m_fnameDBE, m_personalDBE);
    setTabOrder(m_personalDBE, m_regcodeDBE);
    setTabOrder(m_regcodeDBE, m_descDBM);
    setTabOrder(m_descDBM, m_cancelButton);
    setTabOrder(m_cancelButton, m_okButton);
    m_lnameDBE->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

workflows::GuestEntry TGuestForm::Entry() const
{
    return {ToAnsi(m_lnameDBE->text()), ToAnsi(m_fnameDBE->text()), ToAnsi(m_personalDBE->text()),
            ToAnsi(m_regcodeDBE->text()), ToAnsi(MemoText(*m_descDBM))};
}

void TGuestForm::OkButtonClick()
{
    try {
        if (m_registration.OkButtonClick(Entry()) == workflows::GuestAcceptance::FieldsMissing) {
            ShowPlainMessage(std::string(workflows::MissingFieldsText));
            return;
        }
        accept();
    } catch (const std::exception& failure) {
        ShowErrorReport(failure.what());
    } catch (...) {
        ShowErrorReport("Unknown error");
    }
}

void TGuestForm::CancelButtonClick()
{
    m_registration.CancelButtonClick();
    QDialog::reject();
}

void TGuestForm::reject()
{
    CancelButtonClick();
}

void TGuestForm::PutIntoField(data::TField& field, const QString& text)
{
    if (m_showing || !Editing(m_dm.GuestZQ)) {
        return;
    }
    const std::string bytes = ToAnsi(text);
    m_putting = true;
    // Called from the edits' signals: nothing may unwind through Qt.
    try {
        if (bytes.empty()) {
            field.Clear();
        } else {
            field.SetAsString(bytes);
        }
    } catch (const std::exception& failure) {
        ShowErrorReport(failure.what());
    }
    m_putting = false;
}

// The row's values into the edits, leaving alone an edit that already shows its value (so typing
// keeps its cursor).
void TGuestForm::ShowFields()
{
    m_showing = true;
    for (const Binding& binding : m_bindings) {
        const QString value = FromAnsi(binding.Field->AsString());
        if (EditorText(binding.Editor) == value) {
            continue;
        }
        if (auto* line = qobject_cast<QLineEdit*>(binding.Editor)) {
            line->setText(value);
        } else {
            QString lines = value;
            lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            static_cast<QPlainTextEdit*>(binding.Editor)->setPlainText(lines);
        }
    }
    m_showing = false;
}

void TGuestForm::RowsReloaded(data::TDataSource&)
{
    ShowFields();
}

void TGuestForm::CurrentRowChanged(data::TDataSource&)
{
    ShowFields();
}

// Only what another hand put into the row; the edits' own typing stays as typed (the description may
// hold more than its column keeps).
void TGuestForm::FieldChanged(data::TDataSource&, const data::TField&)
{
    if (!m_putting) {
        ShowFields();
    }
}

} // namespace selvo::ui
