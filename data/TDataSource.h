#pragma once

#include <vector>

namespace selvo::data {

class TDataSource;
class TField;
class TZQuery;

// What a control bound to a data source hears. Every handler has an empty default.
class DataSourceListener
{
public:
    virtual ~DataSourceListener() = default;
    // The rows changed as a whole: the query was opened, closed, refreshed, its text replaced, a row
    // was posted, appended or cancelled. Re-read RecordCount(), the rows and RecNo().
    virtual void RowsReloaded(TDataSource& /*source*/) {}
    // Another row became current (RecNo() changed), or the current row's values were replaced.
    virtual void CurrentRowChanged(TDataSource& /*source*/) {}
    // The query's State() changed (browse, edit, insert, inactive).
    virtual void StateChanged(TDataSource& /*source*/) {}
    // A field of the row being edited was set.
    virtual void FieldChanged(TDataSource& /*source*/, const TField& /*field*/) {}
};

// A data source (`SpareCardDS`, ...): names one query in DataSet() and passes that query's changes
// to the listeners registered with it, in the order they registered. A listener may unregister
// itself or others from inside a handler, and must unregister before it is destroyed (the data
// module outlives the windows, and closing it still notifies). UI thread only.
class TDataSource final
{
public:
    explicit TDataSource(TZQuery& dataSet);
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    TZQuery& DataSet() const { return m_dataSet; }

    void AddListener(DataSourceListener& listener);
    void RemoveListener(DataSourceListener& listener) noexcept;

    // ---- For the query ----
    void NotifyRowsReloaded();
    void NotifyCurrentRowChanged();
    void NotifyStateChanged();
    void NotifyFieldChanged(const TField& field);

private:
    template <typename Call> void Notify(Call call);

    TZQuery& m_dataSet;
    std::vector<DataSourceListener*> m_listeners;
    int m_notifying = 0;
};

} // namespace selvo::data
