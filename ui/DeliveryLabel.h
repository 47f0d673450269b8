#pragma once

#include <QLabel>

namespace selvo::ui {

// The main window's one-line delivery report (`DeliveryLabel`): read-only, never focused and outside
// the Tab order, in its panel's font. A text too long for the line is drawn cut at its end with an
// ellipsis; the whole text is its tooltip. UI thread only.
class DeliveryLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit DeliveryLabel(QWidget* parent);

    // The whole text, drawn in the colour given.
    void ShowReport(const QString& text, const QColor& colour);
    void Clear();

    // The text as it is drawn: cut to the label's width.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace selvo::ui
