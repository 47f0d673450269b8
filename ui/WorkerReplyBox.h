#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include "WorkerMessageBox.h"

class QMessageBox;

namespace selvo::ui {

// The reply listener's "Error" box. It is asked for on the endpoint's receiving thread, but Qt
// widgets live on the UI thread only: the request is queued to the UI thread, which shows the box
// (application-modal, no owner, error icon, OK) the next time it serves events, during the push's
// pauses or while the endpoint's close waits for its thread. The asking thread waits until the
// operator has dismissed the box. The box does not stop the UI thread: the push goes on while it
// is open, as it would with a box of the receiving thread's own.
// Create and destroy on the UI thread; ShowError from any other thread.
class WorkerReplyBox final : public QObject, public device::WorkerMessageBox
{
    Q_OBJECT

public:
    explicit WorkerReplyBox(QObject* parent = nullptr);
    // Closes open boxes and releases every thread still waiting, so none waits for a box that can
    // no longer be shown.
    ~WorkerReplyBox() override;
    WorkerReplyBox(const WorkerReplyBox&) = delete;
    WorkerReplyBox& operator=(const WorkerReplyBox&) = delete;

    void ShowError(const std::string& text, const std::string& caption) override;

    // The object name every reply box carries, so the push's input filter lets the operator answer it.
    static constexpr const char* BoxObjectName = "WorkerReplyBox";

private:
    struct Request
    {
        std::string Text;
        std::string Caption;
        bool Done = false;
        QPointer<QMessageBox> Box;
    };

    void Present(const std::shared_ptr<Request>& request);
    void Finish(const std::shared_ptr<Request>& request);

    std::mutex m_mutex;
    std::condition_variable m_dismissed;
    std::vector<std::shared_ptr<Request>> m_open; // guarded by m_mutex
    bool m_closing = false;                       // guarded by m_mutex
};

} // namespace selvo::ui
