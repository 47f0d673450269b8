#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QWidget>

#include "DeliveryReport.h"
#include "Operator.h"
#include "PlainMessage.h"
#include "PushSleeper.h"
#include "WorkerReplyBox.h"

class QLabel;
class QPainter;
class QPushButton;

namespace selvo {
class Registry;
}
namespace selvo::data {
class TTavrinReserveGuestDM;
}
namespace selvo::device {
class DeviceLink;
}
namespace selvo::workflows {
class CardActions;
}

namespace selvo::ui {

class ApplicationEvents;
class CardGrid;
class CardGridModel;
class DeliveryLabel;
struct CardCellState;

// The operator's whole working surface (`MainForm`): the spare card list with lending and return on
// the left, the guest card list with visit start and end on the right, the close button at the
// bottom. Fixed size; the lists' in-use rows coloured; the mouse wheel walks the focused control;
// Esc, and Enter anywhere but on another push button, close it. It owns the device link and supplies
// it with the Qt pauses and reply box, and it is the card actions' operator. After each push it shows
// in one line what every all-access door made of the card.
// Creating it runs FormCreate (settings, connection, the two lists, the work mode); a failure there
// goes to the general error report and the window is still made. UI thread only.
class TMainForm final : public QWidget,
                        public workflows::Operator,
                        public device::PlainMessage,
                        public device::DeliveryWatcher
{
    Q_OBJECT

public:
    // The executable's path, looked up by the settings step; a failing lookup is a settings failure.
    using ExecutablePathLookup = std::function<std::filesystem::path()>;

    TMainForm(data::TTavrinReserveGuestDM& dm, std::filesystem::path executablePath, const Registry& registry,
              QWidget* parent = nullptr);
    TMainForm(data::TTavrinReserveGuestDM& dm, ExecutablePathLookup executablePath, const Registry& registry,
              QWidget* parent = nullptr);
    ~TMainForm() override;
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Shows the window centred on the screen.
    void ShowCentred();

    device::DeviceLink& Device() { return *m_deviceLink; }

    // ---- workflows::Operator and device::PlainMessage ----
    void ShowMessage(const std::string& text) override;
    [[nodiscard]] std::unique_ptr<workflows::WaitCursor> ShowWaitCursor() override;
    void RunEmployeeDialog() override;
    void RunGuestDialog() override;
    std::optional<int> SelectedCard(workflows::CardList list) override;

    // ---- device::DeliveryWatcher: the delivery report in the bottom panel ----
    void PushBegins() override;
    void PushEnded(const device::DeliveryReport& report) override;

    // ---- Handlers ----
    void FormCreate();
    void ConnectButtonClick();
    void RemoveButtonClick();
    void StartButtonClick();
    void StopButtonClick();
    void CloseButtonClick();
    void SpareCardDBGDrawColumnCell(QPainter& painter, const QRect& rect, const QModelIndex& index,
                                    CardCellState state);
    void GuestCardDBGDrawColumnCell(QPainter& painter, const QRect& rect, const QModelIndex& index,
                                    CardCellState state);

signals:
    // The window has closed; the program ends.
    void Closed();

protected:
    // FormClose: the close is never refused. One asked for during a push is carried out when the action
    // has ended.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Up and Down on the push buttons, which Qt's buttons would take as Tab and Shift+Tab.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    // The five push buttons in focus order.
    std::array<QPushButton*, 5> Buttons() const;
    void ApplyWorkMode();
    void FocusFirstEnabled();
    void MoveFocusInPanel(QPushButton& from, bool forward);
    void RunAction(void (workflows::CardActions::*action)());
    void DrawInUseRow(CardGrid& grid, QPainter& painter, const QRect& rect, const QModelIndex& index,
                      CardCellState state, const QColor& rowColour);

    data::TTavrinReserveGuestDM& m_dm;
    ExecutablePathLookup m_executablePath;
    const Registry& m_registry;

    // Declared before the device link, which uses them to its end.
    WorkerReplyBox m_replyBox;
    PushSleeper m_sleeper;
    std::unique_ptr<device::DeviceLink> m_deviceLink; // IdUDPServer1 and the push
    std::unique_ptr<workflows::CardActions> m_actions;

    // Owned by their Qt parents.
    ApplicationEvents* m_applicationEvents = nullptr;
    QWidget* m_leftPanel = nullptr;
    QLabel* m_leftTopPanel = nullptr;
    QPushButton* m_connectButton = nullptr;
    QPushButton* m_removeButton = nullptr;
    CardGridModel* m_spareCardModel = nullptr;
    CardGrid* m_spareCardDBG = nullptr;
    QWidget* m_rightPanel = nullptr;
    QLabel* m_rightTopPanel = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    CardGridModel* m_guestCardModel = nullptr;
    CardGrid* m_guestCardDBG = nullptr;
    QWidget* m_bottomPanel = nullptr;
    QPushButton* m_closeButton = nullptr;
    DeliveryLabel* m_deliveryLabel = nullptr;
};

} // namespace selvo::ui
