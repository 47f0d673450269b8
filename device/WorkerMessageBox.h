#pragma once

#include <string>

namespace selvo::device {

// A task-modal error box without owner window, shown from the calling thread (not the UI thread):
// OK button, error icon. Returns when the operator has dismissed it; until then the caller is blocked.
// Called on the endpoint's receiving thread.
class WorkerMessageBox
{
public:
    virtual ~WorkerMessageBox() = default;
    virtual void ShowError(const std::string& text, const std::string& caption) = 0;
};

} // namespace selvo::device
