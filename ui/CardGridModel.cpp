#include "CardGridModel.h"

#include "AnsiText.h"
#include "TField.h"
#include "TZQuery.h"

namespace selvo::ui {

namespace {

// The indicator's mark for the current row.
const QString CurrentRowMark = QString(QChar(0x25BA));

} // namespace

CardGridModel::CardGridModel(data::TDataSource& source, const data::TField& name, const data::TField& ename,
                             QObject* parent)
    : QAbstractTableModel(parent), m_source(source), m_name(name), m_ename(ename)
{
    m_source.AddListener(*this);
    m_markedRow = CurrentRow();
}

CardGridModel::~CardGridModel()
{
    m_source.RemoveListener(*this);
}

data::TZQuery& CardGridModel::Query() const
{
    return m_source.DataSet();
}

int CardGridModel::CurrentRow() const
{
    const data::TZQuery& query = Query();
    return query.Active() ? query.RecNo() : -1;
}

int CardGridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !Query().Active()) {
        return 0;
    }
    return Query().RecordCount();
}

int CardGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

const data::TField& CardGridModel::FieldOf(int column) const
{
    return column == NameColumn ? m_name : m_ename;
}

bool CardGridModel::InUse(int row) const
{
    return !Query().CellText(row, m_ename).empty();
}

QVariant CardGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return FromAnsi(Query().CellText(index.row(), FieldOf(index.column())));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignTop));
    case InUseRole:
        return InUse(index.row());
    default:
        return {};
    }
}

QVariant CardGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (orientation == Qt::Horizontal) {
        return section == NameColumn || section == EnameColumn ? FromAnsi(FieldOf(section).DisplayLabel()) : QString();
    }
    return section == m_markedRow ? CurrentRowMark : QString();
}

Qt::ItemFlags CardGridModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void CardGridModel::RowsReloaded(data::TDataSource& /*source*/)
{
    beginResetModel();
    m_markedRow = CurrentRow();
    endResetModel();
    emit QueryRowChanged(m_markedRow);
}

void CardGridModel::CurrentRowChanged(data::TDataSource& /*source*/)
{
    const int before = m_markedRow;
    m_markedRow = CurrentRow();
    const int rows = rowCount();
    if (before >= 0 && before < rows) {
        emit headerDataChanged(Qt::Vertical, before, before);
    }
    if (m_markedRow >= 0 && m_markedRow < rows) {
        // The current row's values may have been replaced as well.
        emit dataChanged(index(m_markedRow, 0), index(m_markedRow, 1));
        emit headerDataChanged(Qt::Vertical, m_markedRow, m_markedRow);
    }
    emit QueryRowChanged(m_markedRow);
}

} // namespace selvo::ui
