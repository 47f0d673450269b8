#pragma once

#include <QObject>

namespace selvo::ui {

// The application-wide hook on the event loop: each mouse-wheel turn, in any window of the
// program, becomes one Up (rotation away from the operator) or Down key press for the control
// that has the keyboard focus, so the wheel walks the lists row by row. UI thread only.
class ApplicationEvents final : public QObject
{
    Q_OBJECT

public:
    explicit ApplicationEvents(QObject* parent = nullptr);

    // Installs the hook on the running application.
    void Install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace selvo::ui
