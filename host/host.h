#pragma once
// What the tools need from the host application: its camera, its application object with the
// list of open documents, and the documents themselves. Every operation either succeeds or
// throws HostError; none of this code knows whether the host is real or simulated.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "base/failure.h"
#include "host/display_name.h"

namespace starwright {

// A failing host operation, carrying the host's error number and description.
class HostError : public Failure {
public:
    using Failure::Failure;
};

class HostCamera {
public:
    virtual ~HostCamera() = default;
    virtual void PutPreLinkFlag(bool value) = 0;
    virtual void PutConnected(bool value) = 0;
    virtual bool GetConnected() = 0;
    virtual void SignalRun(bool value) = 0;
    virtual void PutCoolerEnabled(bool value) = 0;
    virtual bool GetSetpointAllowed() = 0;
    // The set-point crosses as a 16-bit Integer at the start of a cool-down and as a Double
    // when it is replaced; the host sees the difference, so both stay separate.
    virtual void PutSetpoint(int16_t value) = 0;
    virtual void PutSetpoint(double value) = 0;
    virtual double GetSetpoint() = 0;
    virtual double GetSensorTemperature() = 0;
    virtual void PutAutoSaveName(const std::string& value) = 0;
    virtual void PutAutoSaveStart(int16_t value) = 0;
};

// A FITS keyword value as it crosses to the host: Double, Long or String.
using FitsValue = std::variant<double, int32_t, std::string>;

class HostDocument {
public:
    virtual ~HostDocument() = default;
    virtual std::string GetDisplayName() = 0;
    virtual void SetFITSKey(const std::string& key, const FitsValue& value) = 0;
};

class HostDocumentList {
public:
    virtual ~HostDocumentList() = default;
    // The host answers with any number; callers narrow it to 16 bits (NarrowToInt16).
    virtual int32_t GetCount() = 0;
    // 1-based; an index yields the same document on consecutive calls.
    virtual std::unique_ptr<HostDocument> GetItem(int16_t index) = 0;
    // For listings and scans of many documents, the host calls of GetItem(index)->GetDisplayName()
    // with what a binding can spare there: no document object, the name into storage that is
    // reused, or compared without converting it. Same calls, same answers.
    virtual void GetItemDisplayName(int16_t index, std::string& name) {
        const auto item = GetItem(index);
        BetweenCalls();
        name = item->GetDisplayName();
    }
    // Whether that display name is `name`, as comparing it with name.Utf8() answers.
    virtual bool ItemHasDisplayName(int16_t index, const DisplayName& name) {
        const auto item = GetItem(index);
        BetweenCalls();
        return item->GetDisplayName() == name.Utf8();
    }

    // Run between the two host calls of the operations above, and by a binding whose document
    // operations take two calls (a member's name lookup, then the member) between those, as a
    // caller runs its own check between two calls it makes: it may throw to stop before the
    // second one.
    void SetBetweenCalls(std::function<void()> check) { betweenCalls_ = std::move(check); }

protected:
    void BetweenCalls() const {
        if (betweenCalls_) betweenCalls_();
    }
    const std::function<void()>& BetweenCallsCheck() const { return betweenCalls_; }

private:
    std::function<void()> betweenCalls_;
};

class HostApplication {
public:
    virtual ~HostApplication() = default;
    virtual std::unique_ptr<HostDocumentList> GetDocuments() = 0;
};

// Creates the host's top-level objects: by class identifier in the COM binding, directly in
// the simulated host.
class HostFactory {
public:
    virtual ~HostFactory() = default;
    virtual std::unique_ptr<HostCamera> CreateCamera() = 0;
    virtual std::unique_ptr<HostApplication> CreateApplication() = 0;
};

}  // namespace starwright
