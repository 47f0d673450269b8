#pragma once

#include <string>

namespace selvo::device {

// A plain modal message box with one OK button, captioned with the application title.
// UI thread only; returns when the operator has dismissed it.
class PlainMessage
{
public:
    virtual ~PlainMessage() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};

} // namespace selvo::device
