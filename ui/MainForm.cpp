#include "MainForm.h"

#include <algorithm>
#include <array>
#include <exception>
#include <string_view>
#include <utility>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include "AnsiText.h"
#include "ApplicationEvents.h"
#include "CardActions.h"
#include "CardGrid.h"
#include "CardGridModel.h"
#include "ConnectionSettings.h"
#include "DeliveryLabel.h"
#include "DeviceLink.h"
#include "ErrorReport.h"
#include "GetEmployeeForm.h"
#include "GuestForm.h"
#include "TavrinReserveGuestDM.h"

namespace selvo::ui {

namespace {

// Windows-1250 bytes: 0x9A s with caron, 0x9E z with caron, 0xE8 c with caron.
constexpr std::string_view ConnectionFailedText = "Gre\x9Aka prilikom konekcije na bazu podataka!";

constexpr int ClientWidth = 1040;
constexpr int ClientHeight = 537;
constexpr int BorderWidth = 4;

const QColor SpareHeaderColour(64, 255, 64);
const QColor GuestHeaderColour(255, 64, 64);
const QColor DeliveryAttentionColour = GuestHeaderColour; // a door that did not confirm the card
const QColor SpareInUseColour(64, 255, 64);               // the spare card is lent
const QColor GuestInUseColour(255, 128, 128);             // the guest card is in use

// The faces the window was designed with are Windows faces ("MS Arial" not even that); where the
// platform lacks them, the nearest one stands in: Arial's metric twin before any other sans serif.
// Qt keeps each substitute once, however often it is inserted.
void InstallFaceSubstitutes()
{
    const QStringList arialLike = {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               QStringList{QStringLiteral("Microsoft Sans Serif")} + arialLike);
    QFont::insertSubstitutions(QStringLiteral("MS Arial"), arialLike);
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans")});
}

QFont Face(const char* family, int pixelSize)
{
    QFont font(QString::fromLatin1(family));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

QWidget* Panel(QWidget* parent, const char* name, QRect geometry)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setGeometry(geometry);
    return panel;
}

// A panel with a caption of its own (the list's title), left-aligned and vertically centred.
QLabel* CaptionPanel(QWidget* parent, const char* name, QRect geometry, const char* caption, const QFont& font,
                     const QColor& colour)
{
    auto* panel = new QLabel(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setGeometry(geometry);
    panel->setTextFormat(Qt::PlainText);
    panel->setText(FromAnsi(caption));
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panel->setFont(font);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::WindowText, colour);
    panel->setPalette(palette);
    // The window's button-face background would otherwise make its children draw in button-text colour.
    panel->setForegroundRole(QPalette::WindowText);
    return panel;
}

QPushButton* Button(QWidget* parent, const char* name, QRect geometry, const char* caption, const QFont& font)
{
    auto* button = new QPushButton(FromAnsi(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setFont(font);
    // A focused push button takes Enter for itself.
    button->setAutoDefault(true);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

bool WithoutModifiers(const QKeyEvent& event)
{
    return (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// The action's hourglass: the cursor in force before comes back when it goes.
class OverrideWaitCursor final : public workflows::WaitCursor
{
public:
    OverrideWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~OverrideWaitCursor() override { QGuiApplication::restoreOverrideCursor(); }
    OverrideWaitCursor(const OverrideWaitCursor&) = delete;
    OverrideWaitCursor& operator=(const OverrideWaitCursor&) = delete;
};

} // namespace

TMainForm::TMainForm(data::TTavrinReserveGuestDM& dm, std::filesystem::path executablePath, const Registry& registry,
                     QWidget* parent)
    : TMainForm(
          dm, [path = std::move(executablePath)] { return path; }, registry, parent)
{
}

TMainForm::TMainForm(data::TTavrinReserveGuestDM& dm, ExecutablePathLookup executablePath, const Registry& registry,
                     QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_dm(dm), m_executablePath(std::move(executablePath)), m_registry(registry),
      m_deviceLink(std::make_unique<device::DeviceLink>(*this, m_replyBox, m_sleeper)),
      m_actions(std::make_unique<workflows::CardActions>(m_dm, *m_deviceLink, *this))
{
    InstallFaceSubstitutes();
    CreateControls();
    m_deviceLink->SetDeliveryWatcher(this);
    // The creation handler's failures go to the general error report; the window is made regardless.
    try {
        FormCreate();
    } catch (const std::exception& failure) {
        ShowErrorReport(failure.what());
    } catch (...) {
        ShowErrorReport("Unknown error");
    }
    FocusFirstEnabled();
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateControls()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tavrin Selvo"));
    setFixedSize(ClientWidth + 2 * BorderWidth, ClientHeight + 2 * BorderWidth);
    setFont(Face("MS Sans Serif", 13));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    auto* client = new QWidget(this);
    client->setGeometry(BorderWidth, BorderWidth, ClientWidth, ClientHeight);

    const QFont arial21 = Face("Arial", 21);
    const QFont arial16 = Face("Arial", 16);
    const QFont msArial21 = Face("MS Arial", 21);
    const QFont msArial16 = Face("MS Arial", 16);

    m_leftPanel = Panel(client, "LeftPanel", QRect(0, 0, 520, 465));
    m_leftTopPanel = CaptionPanel(m_leftPanel, "LeftTopPanel", QRect(4, 4, 512, 72), " Rezervne kartice", arial21,
                                  SpareHeaderColour);
    m_connectButton = Button(m_leftTopPanel, "ConnectButton", QRect(196, 12, 95, 48), "Po&ve\x9Ei", arial16);
    m_removeButton = Button(m_leftTopPanel, "RemoveButton", QRect(295, 12, 95, 48), "&Ukini", arial16);
    m_spareCardModel = new CardGridModel(m_dm.SpareCardDS, m_dm.SpareCardZQname, m_dm.SpareCardZQename, this);
    m_spareCardDBG = new CardGrid(*m_spareCardModel, m_leftPanel);
    m_spareCardDBG->setObjectName(QStringLiteral("SpareCardDBG"));
    m_spareCardDBG->setGeometry(4, 76, 512, 385);

    m_rightPanel = Panel(client, "RightPanel", QRect(520, 0, 520, 465));
    m_rightTopPanel = CaptionPanel(m_rightPanel, "RightTopPanel", QRect(4, 4, 512, 72), " Gost kartice", msArial21,
                                   GuestHeaderColour);
    m_startButton = Button(m_rightTopPanel, "StartButton", QRect(196, 12, 95, 48),
                           "&Po\xE8"
                           "etak",
                           msArial16);
    m_stopButton = Button(m_rightTopPanel, "StopButton", QRect(295, 12, 95, 48), "&Kraj", msArial16);
    m_guestCardModel = new CardGridModel(m_dm.GuestCardDS, m_dm.GuestCardZQname, m_dm.GuestCardZQename, this);
    m_guestCardDBG = new CardGrid(*m_guestCardModel, m_rightPanel);
    m_guestCardDBG->setObjectName(QStringLiteral("GuestCardDBG"));
    m_guestCardDBG->setGeometry(4, 76, 512, 385);

    m_bottomPanel = Panel(client, "BottomPanel", QRect(0, 465, 1040, 72));
    m_closeButton = Button(m_bottomPanel, "CloseButton", QRect(936, 12, 95, 48), "&Zatvori", Face("MS Sans Serif", 16));
    m_closeButton->setDefault(true);
    // Left of the close button, in the panel's font.
    m_deliveryLabel = new DeliveryLabel(m_bottomPanel);
    m_deliveryLabel->setObjectName(QStringLiteral("DeliveryLabel"));
    m_deliveryLabel->setGeometry(4, 12, 924, 48);

    m_spareCardDBG->SetOnDrawColumnCell(
        [this](QPainter& painter, const QRect& rect, const QModelIndex& index, CardCellState state) {
            SpareCardDBGDrawColumnCell(painter, rect, index, state);
        });
    m_guestCardDBG->SetOnDrawColumnCell(
        [this](QPainter& painter, const QRect& rect, const QModelIndex& index, CardCellState state) {
            GuestCardDBGDrawColumnCell(painter, rect, index, state);
        });

    setTabOrder(m_connectButton, m_removeButton);
    setTabOrder(m_removeButton, m_spareCardDBG);
    setTabOrder(m_spareCardDBG, m_startButton);
    setTabOrder(m_startButton, m_stopButton);
    setTabOrder(m_stopButton, m_guestCardDBG);
    setTabOrder(m_guestCardDBG, m_closeButton);

    connect(m_connectButton, &QPushButton::clicked, this, &TMainForm::ConnectButtonClick);
    connect(m_removeButton, &QPushButton::clicked, this, &TMainForm::RemoveButtonClick);
    connect(m_startButton, &QPushButton::clicked, this, &TMainForm::StartButtonClick);
    connect(m_stopButton, &QPushButton::clicked, this, &TMainForm::StopButtonClick);
    connect(m_closeButton, &QPushButton::clicked, this, &TMainForm::CloseButtonClick);

    for (QPushButton* button : Buttons()) {
        button->installEventFilter(this);
    }

    m_applicationEvents = new ApplicationEvents(this);
    m_applicationEvents->setObjectName(QStringLiteral("ApplicationEvents"));
    m_applicationEvents->Install();
}

std::array<QPushButton*, 5> TMainForm::Buttons() const
{
    return {m_connectButton, m_removeButton, m_startButton, m_stopButton, m_closeButton};
}

void TMainForm::FormCreate()
{
    const ConnectionSettings settings = ReadConnectionSettings(m_executablePath(), m_registry);
    m_dm.WorkMode = settings.WorkMode;

    data::TZConnection& connection = m_dm.ZConnection;
    try {
        if (connection.Connected()) {
            connection.Disconnect();
        }
        connection.HostName = settings.HostName;
        connection.Database = settings.DatabaseName;
        connection.Port = settings.Port;
        connection.User = settings.UserName;
        connection.Password = settings.Password;
        connection.Connect();
    } catch (...) {
        // The failure's own text is not shown; the window opens with both lists empty.
        ShowMessage(std::string(ConnectionFailedText));
    }

    if (connection.Connected()) {
        const std::array<std::pair<data::TZQuery*, std::string_view>, 2> lists = {{
            {&m_dm.SpareCardZQ, data::SpareCardListSql},
            {&m_dm.GuestCardZQ, data::GuestCardListSql},
        }};
        for (const auto& [query, text] : lists) {
            if (query->Active()) {
                query->Close();
            }
            query->SetSQL(std::string(text));
            query->Open();
        }
    }

    ApplyWorkMode();
}

void TMainForm::ApplyWorkMode()
{
    const std::int32_t mode = m_dm.WorkMode;
    if (mode == 1) {
        m_startButton->setEnabled(false);
        m_stopButton->setEnabled(false);
    } else if (mode >= 2) {
        m_connectButton->setEnabled(false);
        m_removeButton->setEnabled(false);
    }
}

void TMainForm::FocusFirstEnabled()
{
    for (QWidget* control : std::array<QWidget*, 7>{m_connectButton, m_removeButton, m_spareCardDBG, m_startButton,
                                                    m_stopButton, m_guestCardDBG, m_closeButton}) {
        if (control->isEnabled()) {
            control->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void TMainForm::ShowCentred()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
}

void TMainForm::ShowMessage(const std::string& text)
{
    ShowPlainMessage(text);
}

std::unique_ptr<workflows::WaitCursor> TMainForm::ShowWaitCursor()
{
    return std::make_unique<OverrideWaitCursor>();
}

void TMainForm::RunEmployeeDialog()
{
    TGetEmployeeForm dialog(m_dm, this);
    dialog.exec();
}

void TMainForm::RunGuestDialog()
{
    TGuestForm dialog(m_dm, this);
    dialog.exec();
}

std::optional<int> TMainForm::SelectedCard(workflows::CardList list)
{
    const CardGrid& grid = list == workflows::CardList::Spare ? *m_spareCardDBG : *m_guestCardDBG;
    const data::TZQuery& query = grid.Model().Query();
    if (!query.Active() || query.IsEmpty()) {
        return std::nullopt;
    }
    const int row = grid.currentIndex().row();
    if (row >= 0) {
        return row;
    }
    return query.RecNo() >= 0 ? std::optional<int>(query.RecNo()) : std::nullopt;
}

void TMainForm::PushBegins()
{
    m_deliveryLabel->Clear();
}

void TMainForm::PushEnded(const device::DeliveryReport& report)
{
    m_deliveryLabel->ShowReport(FromAnsi(device::DeliveryReportText(report)),
                                device::DeliveryWantsAttention(report) ? DeliveryAttentionColour
                                                                       : palette().color(QPalette::WindowText));
}

void TMainForm::RunAction(void (workflows::CardActions::*action)())
{
    // Reported here rather than at the event loop's edge, so the failure never unwinds through the
    // button's own code.
    try {
        ((*m_actions).*action)();
    } catch (const std::exception& failure) {
        ShowErrorReport(failure.what());
    } catch (...) {
        ShowErrorReport("Unknown error");
    }
    // A close the push had to hold back: as a queued close would have been, now that nothing runs.
    if (m_sleeper.TakeCloseRequest(*this)) {
        close();
    }
}

void TMainForm::ConnectButtonClick()
{
    RunAction(&workflows::CardActions::ConnectButtonClick);
}

void TMainForm::RemoveButtonClick()
{
    RunAction(&workflows::CardActions::RemoveButtonClick);
}

void TMainForm::StartButtonClick()
{
    RunAction(&workflows::CardActions::StartButtonClick);
}

void TMainForm::StopButtonClick()
{
    RunAction(&workflows::CardActions::StopButtonClick);
}

void TMainForm::CloseButtonClick()
{
    close();
}

void TMainForm::DrawInUseRow(CardGrid& grid, QPainter& painter, const QRect& rect, const QModelIndex& index,
                             CardCellState state, const QColor& rowColour)
{
    // The in-use test follows the `ename` field wherever the operator has dragged its column.
    if (!index.data(CardGridModel::InUseRole).toBool()) {
        return;
    }
    grid.DefaultDrawColumnCell(painter, rect, index, rowColour, grid.CellText(state));
}

void TMainForm::SpareCardDBGDrawColumnCell(QPainter& painter, const QRect& rect, const QModelIndex& index,
                                           CardCellState state)
{
    DrawInUseRow(*m_spareCardDBG, painter, rect, index, state, SpareInUseColour);
}

void TMainForm::GuestCardDBGDrawColumnCell(QPainter& painter, const QRect& rect, const QModelIndex& index,
                                           CardCellState state)
{
    DrawInUseRow(*m_guestCardDBG, painter, rect, index, state, GuestInUseColour);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit Closed();
}

void TMainForm::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (WithoutModifiers(*event)) {
        // CloseButton is the window's cancel button and its default button: whatever control has the
        // focus passes Esc and Enter on to here unless it takes them itself, as a push button takes Enter.
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (m_closeButton->isEnabled()) {
                m_closeButton->click();
            }
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button != nullptr && WithoutModifiers(*key) && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            MoveFocusInPanel(*button, key->key() == Qt::Key_Down);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// Up and Down on a push button move the focus to the previous or next enabled button of the same
// panel, in focus order and wrapping around.
void TMainForm::MoveFocusInPanel(QPushButton& from, bool forward)
{
    std::vector<QPushButton*> buttons;
    for (QPushButton* button :
         std::array<QPushButton*, 5>{m_connectButton, m_removeButton, m_startButton, m_stopButton, m_closeButton}) {
        if (button->parentWidget() == from.parentWidget() && button->isEnabled()) {
            buttons.push_back(button);
        }
    }
    const auto at = std::find(buttons.begin(), buttons.end(), &from);
    if (at == buttons.end()) {
        return;
    }
    const auto count = static_cast<std::ptrdiff_t>(buttons.size());
    const std::ptrdiff_t position = at - buttons.begin();
    const std::ptrdiff_t next = (position + (forward ? 1 : count - 1)) % count;
    buttons[static_cast<std::size_t>(next)]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

} // namespace selvo::ui
