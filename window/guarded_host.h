#pragma once
// The host as a handler of the window reaches it. A real host lets window messages run inside
// its own calls (linking a camera takes seconds and shows progress), so any click, the close
// box, a tick or the host's own DoModal can run inside any host call a handler makes. Every
// call through these objects is therefore preceded and followed by a check that throws
// ShowingClosed once the window the handler runs on has closed: the handler then makes no
// further host call and touches nothing, whatever its own code would have done next.

#include <exception>
#include <functional>
#include <memory>

#include "host/host.h"

namespace starwright {

// Ends a handler whose window closed under it. Not a Failure: there is nobody left to tell,
// so error traps and the window's barrier let it pass without a message.
class ShowingClosed final : public std::exception {
public:
    const char* what() const noexcept override { return "the window closed while a handler ran"; }
};

// Creates host objects through `inner`; they and everything reached from them call `check`
// before and after each operation.
class GuardedHostFactory final : public HostFactory {
public:
    GuardedHostFactory(HostFactory& inner, std::function<void()> check) : inner_(inner), check_(std::move(check)) {}
    std::unique_ptr<HostCamera> CreateCamera() override;
    std::unique_ptr<HostApplication> CreateApplication() override;

private:
    HostFactory& inner_;
    std::function<void()> check_;
};

}  // namespace starwright
