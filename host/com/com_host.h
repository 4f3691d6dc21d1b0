#pragma once
// The binding to the real host through automation: the camera and the application are created
// by class identifier and called through IDispatch with the host's fixed DISPIDs; documents
// are called by member name. Every failing call becomes a HostError.

#include "host/host.h"

namespace starwright::com {

class ComHostFactory final : public HostFactory {
public:
    std::unique_ptr<HostCamera> CreateCamera() override;
    std::unique_ptr<HostApplication> CreateApplication() override;
};

}  // namespace starwright::com
