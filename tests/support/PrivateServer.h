#pragma once

#include <string>

#include "TestServer.h"

namespace selvo::test {

// A MariaDB server of one test's own, started by the fixture's script (tests/support/mariadb-fixture)
// in a temporary folder on a free loopback port, for tests that stop and start the server: the
// shared fixture serves many tests at once. Removed with its data when the object goes.
class PrivateServer final
{
public:
    PrivateServer();
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    const ServerAddress& Address() const { return m_address; }

    // Stops the server process (its connections end), keeping the data folder and the port.
    void Stop();
    // Starts it again on the same port and data folder; returns when it answers.
    void Start();
    // Stop and Start: a restart as a nightly backup or an update makes one.
    void Restart();

private:
    std::string m_dir;
    std::string m_state;
    ServerAddress m_address;
};

} // namespace selvo::test
