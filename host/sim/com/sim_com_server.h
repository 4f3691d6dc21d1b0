#pragma once
// The simulated host as automation objects: a camera and an application whose class objects
// are registered under the real host's class identifiers inside the calling process, for that
// process alone, much as the host's own executable serves them. Clients create them by CLSID
// and never learn that they are simulated; every call goes to SimHost::Invoke with the VARIANT
// types as they came.

#include <memory>

#include "host/sim/sim_host.h"

namespace starwright::sim {

class SimComServer {
public:
    explicit SimComServer(SimHost& host);
    // Revokes the class objects. Objects still held by clients outlive the server but answer
    // every call with CO_E_OBJNOTCONNECTED, since the SimHost behind them may be gone.
    ~SimComServer();
    SimComServer(const SimComServer&) = delete;
    SimComServer& operator=(const SimComServer&) = delete;

    // Registers the camera and application class objects (CoRegisterClassObject,
    // CLSCTX_INPROC_SERVER) on the calling thread's apartment; returns the failure HRESULT.
    // Only that apartment of this process can create them: a client on another thread must
    // register them in its own apartment, and other processes never see them.
    long Register();
    void Revoke();

    // Objects created and not yet released by their clients, as a client's leaks show.
    long LiveObjects() const { return connection_->liveObjects; }

    // What the objects share with the server: the host, cleared when the server goes, and the
    // count of objects alive.
    struct Connection {
        SimHost* host;
        long liveObjects = 0;
    };

private:
    std::shared_ptr<Connection> connection_;
    unsigned long cookies_[2] = {0, 0};
};

}  // namespace starwright::sim
