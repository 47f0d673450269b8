#pragma once

#include <functional>

#include <QColor>
#include <QTableView>

namespace selvo::ui {

class CardGridModel;

// What the grid tells the draw handler about the cell it has just painted.
struct CardCellState
{
    // The cell is on the current row and the grid has the focus, so it shows the highlight colours.
    bool Highlighted = false;
};

// A card list's data grid (`SpareCardDBG`, `GuestCardDBG`): read-only, whole-row selection, a title
// row, an indicator column marking the current row, lines between cells. Up and Down move the
// current row, and with it the query's current row; the query's moves move the grid. Columns can be
// resized and dragged into another order for the rest of the run. Enter and Esc are left to the
// window. UI thread only.
class CardGrid final : public QTableView
{
    Q_OBJECT

public:
    // Called for every data cell after the grid has painted it itself (never for the titles or the
    // indicator), with the cell's rectangle and its model index (whose column is the field's, wherever
    // the operator has dragged it).
    using DrawColumnCellHandler =
        std::function<void(QPainter& painter, const QRect& rect, const QModelIndex& index, CardCellState state)>;

    explicit CardGrid(CardGridModel& model, QWidget* parent = nullptr);

    CardGridModel& Model() const { return m_model; }
    void SetOnDrawColumnCell(DrawColumnCellHandler handler) { m_onDrawColumnCell = std::move(handler); }

    // The grid's own painting of a data cell: the whole rectangle in the background, the column's
    // display text 2 pixels in from the left and top edges in the given text colour.
    void DefaultDrawColumnCell(QPainter& painter, const QRect& rect, const QModelIndex& index, const QColor& background,
                               const QColor& text) const;
    // The colours the grid chooses for a cell: the highlight colours on the current row of a focused
    // grid, else the window colours.
    QColor CellBackground(CardCellState state) const;
    QColor CellText(CardCellState state) const;
    CardCellState StateOf(const QModelIndex& index) const;

    // Paints one data cell: the grid's own painting, then the draw handler.
    void PaintCell(QPainter& painter, const QRect& rect, const QModelIndex& index) const;

    void keyboardSearch(const QString& search) override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void FollowQuery(int row);
    void MoveQuery(const QModelIndex& current);

    CardGridModel& m_model;
    DrawColumnCellHandler m_onDrawColumnCell;
    bool m_following = false;
};

} // namespace selvo::ui
