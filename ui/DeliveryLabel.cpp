#include "DeliveryLabel.h"

#include <QPainter>
#include <QStyle>

namespace selvo::ui {

DeliveryLabel::DeliveryLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The window's button-face background would otherwise make it draw in button-text colour.
    setForegroundRole(QPalette::WindowText);
}

void DeliveryLabel::ShowReport(const QString& text, const QColor& colour)
{
    QPalette shown = palette();
    shown.setColor(QPalette::WindowText, colour);
    setPalette(shown);
    setText(text);
    setToolTip(text);
}

void DeliveryLabel::Clear()
{
    clear();
    setToolTip(QString());
}

QString DeliveryLabel::ShownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void DeliveryLabel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(), ShownText(),
                          foregroundRole());
}

} // namespace selvo::ui
