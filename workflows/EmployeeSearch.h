#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace selvo::data {
class TTavrinReserveGuestDM;
class TZConnection;
} // namespace selvo::data

namespace selvo::workflows {

// The rows of the search editor SearchVLE, in the order it shows them.
enum class SearchKey
{
    Prezime,
    Ime,
    Kod,
    JMBG,
};

struct SearchRow
{
    std::string_view Key;             // the row's key as the editor shows it
    std::string_view CriterionPrefix; // what the literal follows directly
};

inline constexpr std::array<SearchRow, 4> SearchRows = {{
    {"Prezime", "e.lastname LIKE"},
    {"Ime", "e.firstname LIKE "},
    {"Kod", "e.code LIKE"},
    {"JMBG", "e.personalidentificator LIKE"},
}};

// The four values typed into SearchVLE (Windows-1250 bytes), indexed by SearchKey.
using SearchValues = std::array<std::string, SearchRows.size()>;

// The employee search statement: active employees to whom no card row refers, narrowed by each filled
// value (the value begins the column; '%' and '_' typed by the operator act as wildcards), criteria in
// the order first name, last name, code, personal number, sorted by first name. The literals are made
// with the connection's own escaping, so no value can leave its literal.
std::string BuildSearchSql(data::TZConnection& connection, const SearchValues& values);

// The employeecardid of the spare card selected when the last employee dialog was created: one value
// for the program, not one per dialog.
std::int32_t ChosenCardId();

// The logic of the employee search dialog TGetEmployeeForm over the data module. Database failures
// propagate to the caller. UI thread only.
class EmployeeSearch final
{
public:
    // The dialog's FormCreate: takes the key of the current row of SpareCardZQ as ChosenCardId.
    explicit EmployeeSearch(data::TTavrinReserveGuestDM& dm);
    EmployeeSearch(const EmployeeSearch&) = delete;
    EmployeeSearch& operator=(const EmployeeSearch&) = delete;

    // Replaces the text of EmployeeZQ with the search statement and opens it.
    void FindButtonClick(const SearchValues& values);

    // Binds the selected employee (the current row of EmployeeZQ) to the card: posts the card row,
    // runs the UPDATE of employeecard, sets EmployeeChosen. True when the dialog is to close; false,
    // with nothing done, when there is no usable employee row.
    bool OkButtonClick();

private:
    data::TTavrinReserveGuestDM& m_dm;
};

} // namespace selvo::workflows
