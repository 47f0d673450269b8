#include "EmployeeSearch.h"

#include "TavrinReserveGuestDM.h"

namespace selvo::workflows {

namespace {

std::int32_t g_chosenCardId = 0;

// The value as a LIKE pattern that begins the column: a backslash typed by the operator is a plain
// character (LIKE would take it as its escape), '%' and '_' stay wildcards; then the client library's
// escaping makes the string literal.
std::string LikeLiteral(data::TZConnection& connection, const std::string& value)
{
    std::string pattern;
    pattern.reserve(value.size() + 2);
    for (const char c : value) {
        if (c == '\\') {
            pattern.push_back('\\');
        }
        pattern.push_back(c);
    }
    pattern.push_back('%');
    return connection.Literal(pattern);
}

constexpr SearchKey CriteriaOrder[] = {SearchKey::Ime, SearchKey::Prezime, SearchKey::Kod, SearchKey::JMBG};

} // namespace

std::string BuildSearchSql(data::TZConnection& connection, const SearchValues& values)
{
    std::string condition = " WHERE (e.active != 'n') AND (ec.employeecardid IS NULL)";
    for (const SearchKey key : CriteriaOrder) {
        const auto index = static_cast<std::size_t>(key);
        if (values[index].empty()) {
            continue;
        }
        condition += " AND ";
        condition += SearchRows[index].CriterionPrefix;
        condition += LikeLiteral(connection, values[index]);
    }
    return "SELECT e.* FROM employee AS e LEFT JOIN employeecard AS ec ON ec.employeeid = e.employeeid" + condition +
           " ORDER BY e.firstname ASC";
}

std::int32_t ChosenCardId()
{
    return g_chosenCardId;
}

EmployeeSearch::EmployeeSearch(data::TTavrinReserveGuestDM& dm) : m_dm(dm)
{
    g_chosenCardId = m_dm.SpareCardZQemployeecardid.AsInteger();
}

void EmployeeSearch::FindButtonClick(const SearchValues& values)
{
    m_dm.EmployeeZQ.SetSQL(BuildSearchSql(m_dm.ZConnection, values));
    m_dm.EmployeeZQ.Open();
}

bool EmployeeSearch::OkButtonClick()
{
    const std::int32_t employeeId = m_dm.EmployeeZQemployeeid.AsInteger();
    if (employeeId <= 0) {
        return false;
    }
    if (m_dm.SpareCardZQ.State() == data::DataSetState::Browse) {
        m_dm.SpareCardZQ.Edit();
    }
    m_dm.SpareCardZQemployeeid.SetAsInteger(employeeId);
    m_dm.SpareCardZQ.Post();

    m_dm.UpdateZQ.SetSQL("UPDATE employeecard SET employeeid = " + std::to_string(employeeId) +
                         " WHERE employeecardid = " + std::to_string(g_chosenCardId));
    m_dm.UpdateZQ.ExecSQL();
    m_dm.EmployeeChosen = true;
    return true;
}

} // namespace selvo::workflows
