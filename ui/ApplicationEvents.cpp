#include "ApplicationEvents.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointingDevice>
#include <QWheelEvent>
#include <QWidget>

namespace selvo::ui {

ApplicationEvents::ApplicationEvents(QObject* parent) : QObject(parent) {}

void ApplicationEvents::Install()
{
    qApp->installEventFilter(this);
}

bool ApplicationEvents::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel) {
        return QObject::eventFilter(watched, event);
    }
    auto* wheel = static_cast<QWheelEvent*>(event);
    QPoint rotation = wheel->angleDelta();
    if (rotation.y() == 0 && rotation.x() != 0) {
        return false; // a sideways tilt is another message; it passes untouched
    }
    // Nor is a touchpad's scroll gesture a wheel: it begins and ends with events that turn nothing
    // (phases ScrollBegin and ScrollEnd), and a touchpad may report such events without a phase.
    // They pass untouched; a wheel's own event with a rotation of 0 still counts as Down below.
    const QPointingDevice* device = wheel->pointingDevice();
    const bool touchpad = device != nullptr && device->type() == QInputDevice::DeviceType::TouchPad;
    if (rotation.isNull() && (wheel->phase() != Qt::NoScrollPhase || touchpad)) {
        return false;
    }
    // One key press per wheel message, whatever the amount; a rotation of 0 counts as Down.
    int key = rotation.y() > 0 ? Qt::Key_Up : Qt::Key_Down;
    if (QWidget* focus = QApplication::focusWidget()) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(focus, &press);
    }
    // The wheel itself is consumed here, so no widget also scrolls by it.
    return true;
}

} // namespace selvo::ui
