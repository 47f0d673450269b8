#include "WorkerReplyBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "AnsiText.h"

namespace selvo::ui {

namespace {

QMessageBox* MakeBox(const std::string& text, const std::string& caption)
{
    auto* box = new QMessageBox(QMessageBox::Critical, FromAnsi(caption), FromAnsi(text), QMessageBox::Ok);
    box->setObjectName(WorkerReplyBox::BoxObjectName);
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

} // namespace

WorkerReplyBox::WorkerReplyBox(QObject* parent) : QObject(parent) {}

WorkerReplyBox::~WorkerReplyBox()
{
    std::vector<std::shared_ptr<Request>> open;
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        open.swap(m_open);
        for (const auto& request : open) {
            request->Done = true;
        }
    }
    m_dismissed.notify_all();
    for (const auto& request : open) {
        if (request->Box) {
            request->Box->disconnect(this);
            delete request->Box.data();
            QGuiApplication::restoreOverrideCursor();
        }
    }
}

void WorkerReplyBox::ShowError(const std::string& text, const std::string& caption)
{
    if (QThread::currentThread() == thread()) {
        // Asked on the UI thread itself: nothing to hand over, show it here.
        std::unique_ptr<QMessageBox> box(MakeBox(text, caption));
        box->exec();
        return;
    }
    auto request = std::make_shared<Request>();
    request->Text = text;
    request->Caption = caption;
    std::unique_lock lock(m_mutex);
    if (m_closing) {
        return;
    }
    m_open.push_back(request);
    // Posted under the lock, so the destructor cannot run between the check above and the post.
    QMetaObject::invokeMethod(
        this, [this, request] { Present(request); }, Qt::QueuedConnection);
    m_dismissed.wait(lock, [&request] { return request->Done; });
}

void WorkerReplyBox::Present(const std::shared_ptr<Request>& request)
{
    QMessageBox* box = MakeBox(request->Text, request->Caption);
    box->setAttribute(Qt::WA_DeleteOnClose);
    request->Box = box;
    connect(box, &QMessageBox::finished, this, [this, request] { Finish(request); });
    // The action's hourglass covers every window of the program; over the box the operator is asked
    // for something, so it gets the arrow until it is dismissed.
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    box->show();
    box->raise();
    box->activateWindow();
}

void WorkerReplyBox::Finish(const std::shared_ptr<Request>& request)
{
    QGuiApplication::restoreOverrideCursor();
    {
        std::lock_guard lock(m_mutex);
        request->Done = true;
        std::erase(m_open, request);
    }
    m_dismissed.notify_all();
}

} // namespace selvo::ui
