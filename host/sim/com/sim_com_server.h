#pragma once
// The simulated host as automation objects: a camera and an application whose class objects
// are registered under the real host's class identifiers inside the calling process, the way
// the host's own executable serves them. Clients create them by CLSID and never learn that
// they are simulated; every call goes to SimHost::Invoke with the VARIANT types as they came.

#include "host/sim/sim_host.h"

namespace starwright::sim {

class SimComServer {
public:
    explicit SimComServer(SimHost& host);
    ~SimComServer();  // revokes the class objects
    SimComServer(const SimComServer&) = delete;
    SimComServer& operator=(const SimComServer&) = delete;

    // Registers the camera and application class objects (CoRegisterClassObject,
    // CLSCTX_LOCAL_SERVER) on the calling thread's apartment; returns the failure HRESULT.
    long Register();
    void Revoke();

private:
    SimHost& host_;
    unsigned long cookies_[2] = {0, 0};
};

}  // namespace starwright::sim
