#pragma once

#include <QAbstractTableModel>

#include "TDataSource.h"

namespace selvo::data {
class TField;
class TZQuery;
} // namespace selvo::data

namespace selvo::ui {

// The rows of a card list as its grid shows them: column 0 the card's `name`, column 1 its `ename`
// (the holder or guest), titled with the fields' display labels. It listens to the list's data source,
// so every opening, refresh or move of the query reaches the grid. Read-only. UI thread only.
class CardGridModel final : public QAbstractTableModel, private data::DataSourceListener
{
    Q_OBJECT

public:
    // True for every cell of a row whose `ename` is not empty: the card is lent or in use.
    static constexpr int InUseRole = Qt::UserRole + 1;

    static constexpr int NameColumn = 0;
    static constexpr int EnameColumn = 1;

    CardGridModel(data::TDataSource& source, const data::TField& name, const data::TField& ename,
                  QObject* parent = nullptr);
    ~CardGridModel() override;
    CardGridModel(const CardGridModel&) = delete;
    CardGridModel& operator=(const CardGridModel&) = delete;

    data::TZQuery& Query() const;
    // The query's current row, -1 when it is closed or empty.
    int CurrentRow() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The query's current row changed (or was re-read); the grid follows it.
    void QueryRowChanged(int row);

private:
    void RowsReloaded(data::TDataSource& source) override;
    void CurrentRowChanged(data::TDataSource& source) override;

    const data::TField& FieldOf(int column) const;
    bool InUse(int row) const;

    data::TDataSource& m_source;
    const data::TField& m_name;
    const data::TField& m_ename;
    int m_markedRow = -1; // the row the indicator marks
};

} // namespace selvo::ui
