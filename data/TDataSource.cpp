#include "TDataSource.h"

#include <algorithm>

#include "TZQuery.h"

namespace selvo::data {

TDataSource::TDataSource(TZQuery& dataSet) : m_dataSet(dataSet)
{
    m_dataSet.AddDataSource(*this);
}

TDataSource::~TDataSource()
{
    m_dataSet.RemoveDataSource(*this);
}

void TDataSource::AddListener(DataSourceListener& listener)
{
    if (std::find(m_listeners.begin(), m_listeners.end(), &listener) == m_listeners.end()) {
        m_listeners.push_back(&listener);
    }
}

void TDataSource::RemoveListener(DataSourceListener& listener) noexcept
{
    std::replace(m_listeners.begin(), m_listeners.end(), &listener, static_cast<DataSourceListener*>(nullptr));
}

// Listeners removed during a notification are nulled first and dropped when the outermost
// notification ends, so no loop calls a listener that has gone or skips one.
template <typename Call> void TDataSource::Notify(Call call)
{
    struct Depth
    {
        int& Count;
        explicit Depth(int& count) : Count(count) { ++Count; }
        ~Depth() { --Count; }
    };
    {
        Depth depth(m_notifying);
        for (size_t i = 0; i < m_listeners.size(); ++i) {
            if (DataSourceListener* listener = m_listeners[i]) {
                call(*listener);
            }
        }
    }
    if (m_notifying == 0) {
        m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), nullptr), m_listeners.end());
    }
}

void TDataSource::NotifyRowsReloaded()
{
    Notify([this](DataSourceListener& l) { l.RowsReloaded(*this); });
}

void TDataSource::NotifyCurrentRowChanged()
{
    Notify([this](DataSourceListener& l) { l.CurrentRowChanged(*this); });
}

void TDataSource::NotifyStateChanged()
{
    Notify([this](DataSourceListener& l) { l.StateChanged(*this); });
}

void TDataSource::NotifyFieldChanged(const TField& field)
{
    Notify([this, &field](DataSourceListener& l) { l.FieldChanged(*this, field); });
}

} // namespace selvo::data
