#pragma once

#include <string>
#include <string_view>

#include <QString>

namespace selvo::ui {

// The one crossing between the program's texts (Windows-1250 bytes, as the database and the
// settings hold them) and Qt's Unicode strings. Characters that Windows-1250 cannot hold become '?'.
QString FromAnsi(std::string_view bytes);
std::string ToAnsi(const QString& text);

} // namespace selvo::ui
