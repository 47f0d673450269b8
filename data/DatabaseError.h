#pragma once

#include <stdexcept>
#include <string>

namespace selvo::data {

// The one failure type of the data module. what() is the failure's own text as the operator sees it
// in the general error report ("SQL Error: ...", "Field 'Kod' not found", ...); ErrorCode() is the
// client library's error number when the failure came from the client or the server, 0 otherwise.
class DatabaseError final : public std::runtime_error
{
public:
    explicit DatabaseError(const std::string& text, unsigned errorCode = 0)
        : std::runtime_error(text), m_errorCode(errorCode)
    {
    }

    unsigned ErrorCode() const noexcept { return m_errorCode; }

private:
    unsigned m_errorCode;
};

} // namespace selvo::data
