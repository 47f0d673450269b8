#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <QTemporaryDir>
#include <QTest>

#include "FileRegistry.h"
#include "MainForm.h"
#include "TavrinReserveGuestDM.h"
#include "TestServer.h"

namespace selvo::ui::test {

// The settings file keeps the password with every byte moved up by 5.
inline std::string StoredPassword(std::string clear)
{
    for (char& c : clear) {
        c = static_cast<char>(static_cast<unsigned char>(c) + 5);
    }
    return clear;
}

// The program on a fresh test database, filled by `prepare`: settings (work mode 0) beside a stand-in
// executable, the data module and the main window made as start-up makes them, then shown.
class WindowDesk final
{
public:
    explicit WindowDesk(const std::function<void(selvo::test::TestDatabase&)>& prepare)
        : m_registry(m_dir.filePath("registry.ini").toStdString())
    {
        prepare(m_db);
        const selvo::test::ServerAddress& server = m_db.Server();
        std::ofstream ini(m_dir.filePath("Selvo.ini").toStdString(), std::ios::binary);
        ini << "[Database]\r\nHostName=" << server.Host << "\r\nDatabaseName=" << m_db.Name()
            << "\r\nPort=" << server.Port << "\r\nUsername=" << server.User
            << "\r\nPassword=" << StoredPassword(server.Password) << "\r\n[Options]\r\nMode=0\r\n";
        ini.close();
        Dm = std::make_unique<data::TTavrinReserveGuestDM>();
        Form =
            std::make_unique<TMainForm>(*Dm, std::filesystem::path(m_dir.filePath("Selvo").toStdString()), m_registry);
        Form->ShowCentred();
        if (!QTest::qWaitForWindowActive(Form.get())) {
            qFatal("the main window did not become active");
        }
    }

    ~WindowDesk()
    {
        Form->close();
        Form.reset();
        Dm.reset();
    }

    WindowDesk(const WindowDesk&) = delete;
    WindowDesk& operator=(const WindowDesk&) = delete;

    template <typename T = QWidget> T* Child(const char* name) const
    {
        T* child = Form->findChild<T*>(QString::fromLatin1(name));
        if (child == nullptr) {
            qFatal("no control %s", name);
        }
        return child;
    }

    std::string Value(const std::string& sql) { return m_db.Scalar(sql).value_or(""); }
    selvo::test::TestDatabase& Db() { return m_db; }

    std::unique_ptr<data::TTavrinReserveGuestDM> Dm;
    std::unique_ptr<TMainForm> Form;

private:
    QTemporaryDir m_dir;
    selvo::test::TestDatabase m_db;
    FileRegistry m_registry;
};

} // namespace selvo::ui::test
