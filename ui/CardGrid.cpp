#include "CardGrid.h"

#include <algorithm>
#include <exception>

#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include "CardGridModel.h"
#include "ErrorReport.h"
#include "TZQuery.h"

namespace selvo::ui {

namespace {

constexpr int IndicatorWidth = 12;
constexpr int EnameWidth = 300;
constexpr int TextInset = 2;

QFont GridFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    return font;
}

// Hands every data cell to the grid's own painting.
class CardCellDelegate final : public QStyledItemDelegate
{
public:
    explicit CardCellDelegate(CardGrid& grid) : QStyledItemDelegate(&grid), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        m_grid.PaintCell(*painter, option.rect, index);
    }

private:
    CardGrid& m_grid;
};

} // namespace

CardGrid::CardGrid(CardGridModel& model, QWidget* parent) : QTableView(parent), m_model(model)
{
    setFont(GridFont());
    setModel(&m_model);
    setItemDelegate(new CardCellDelegate(*this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false); // Tab leaves the grid for the next control
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setDragEnabled(false);
    setAcceptDrops(false);

    const QFontMetrics metrics(font());
    const int rowHeight = metrics.height() + 3;

    QHeaderView* titles = horizontalHeader();
    titles->setFont(font());
    titles->setSectionsMovable(true);
    titles->setSectionsClickable(false);
    titles->setHighlightSections(false);
    titles->setStretchLastSection(false);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setMinimumSectionSize(1);
    titles->setFixedHeight(rowHeight + 2);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    QHeaderView* indicator = verticalHeader();
    indicator->setSectionsClickable(false);
    indicator->setHighlightSections(false);
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setDefaultSectionSize(rowHeight);
    indicator->setMinimumSectionSize(rowHeight);
    indicator->setFixedWidth(IndicatorWidth);
    indicator->setDefaultAlignment(Qt::AlignCenter);

    // `name`: ten digits 0 or its title, whichever is wider, plus the text's insets.
    const QString nameTitle = m_model.headerData(CardGridModel::NameColumn, Qt::Horizontal).toString();
    const int nameWidth = std::max(10 * metrics.horizontalAdvance(QLatin1Char('0')),
                                   QFontMetrics(titles->font()).horizontalAdvance(nameTitle)) +
                          4;
    setColumnWidth(CardGridModel::NameColumn, nameWidth);
    setColumnWidth(CardGridModel::EnameColumn, EnameWidth);

    connect(&m_model, &CardGridModel::QueryRowChanged, this, &CardGrid::FollowQuery);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { MoveQuery(current); });
    FollowQuery(m_model.CurrentRow());
}

CardCellState CardGrid::StateOf(const QModelIndex& index) const
{
    return CardCellState{hasFocus() && index.row() == currentIndex().row()};
}

QColor CardGrid::CellBackground(CardCellState state) const
{
    return palette().color(state.Highlighted ? QPalette::Highlight : QPalette::Base);
}

QColor CardGrid::CellText(CardCellState state) const
{
    return palette().color(state.Highlighted ? QPalette::HighlightedText : QPalette::Text);
}

void CardGrid::DefaultDrawColumnCell(QPainter& painter, const QRect& rect, const QModelIndex& index,
                                     const QColor& background, const QColor& text) const
{
    painter.save();
    painter.setClipRect(rect);
    painter.fillRect(rect, background);
    painter.setPen(text);
    painter.setFont(font());
    const auto alignment = m_model.data(index, Qt::TextAlignmentRole).value<Qt::Alignment>();
    painter.drawText(rect.adjusted(TextInset, TextInset, -TextInset, 0), int(alignment) | Qt::TextSingleLine,
                     m_model.data(index, Qt::DisplayRole).toString());
    painter.restore();
}

void CardGrid::PaintCell(QPainter& painter, const QRect& rect, const QModelIndex& index) const
{
    const CardCellState state = StateOf(index);
    DefaultDrawColumnCell(painter, rect, index, CellBackground(state), CellText(state));
    if (m_onDrawColumnCell) {
        m_onDrawColumnCell(painter, rect, index, state);
    }
}

void CardGrid::keyboardSearch(const QString& /*search*/)
{
    // Typing letters does not move a data grid's current row.
}

void CardGrid::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    viewport()->update(); // the current row takes the highlight colours
}

void CardGrid::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void CardGrid::FollowQuery(int row)
{
    m_following = true;
    if (row >= 0 && row < m_model.rowCount()) {
        const int column = std::max(currentIndex().column(), 0);
        const QModelIndex target = m_model.index(row, column);
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(target);
    } else {
        selectionModel()->clear();
    }
    m_following = false;
    viewport()->update();
}

void CardGrid::MoveQuery(const QModelIndex& current)
{
    if (m_following || !current.isValid()) {
        return;
    }
    data::TZQuery& query = m_model.Query();
    if (!query.Active() || query.RecNo() == current.row()) {
        return;
    }
    try {
        query.MoveTo(current.row());
    } catch (const std::exception& failure) {
        // Reported here: a failure must not unwind through the view's own code.
        ShowErrorReport(failure.what());
        FollowQuery(m_model.CurrentRow());
    }
}

} // namespace selvo::ui
