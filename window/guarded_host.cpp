#include "window/guarded_host.h"

#include <type_traits>
#include <utility>

namespace starwright {

namespace {

using Check = std::function<void()>;

// Runs one host operation between two checks. An operation that fails after the window closed
// under it ends the handler as a close does: its error has nobody left to be shown to.
template <typename Operation>
auto Guard(const Check& check, Operation&& operation) {
    check();
    if constexpr (std::is_void_v<decltype(operation())>) {
        try {
            operation();
        } catch (...) {
            check();
            throw;
        }
        check();
    } else {
        auto result = [&] {
            try {
                return operation();
            } catch (...) {
                check();
                throw;
            }
        }();
        check();
        return result;
    }
}

class GuardedCamera final : public HostCamera {
public:
    GuardedCamera(std::unique_ptr<HostCamera> inner, Check check) : inner_(std::move(inner)), check_(std::move(check)) {}

    void PutPreLinkFlag(bool v) override { Guard(check_, [&] { inner_->PutPreLinkFlag(v); }); }
    void PutConnected(bool v) override { Guard(check_, [&] { inner_->PutConnected(v); }); }
    bool GetConnected() override { return Guard(check_, [&] { return inner_->GetConnected(); }); }
    void SignalRun(bool v) override { Guard(check_, [&] { inner_->SignalRun(v); }); }
    void PutCoolerEnabled(bool v) override { Guard(check_, [&] { inner_->PutCoolerEnabled(v); }); }
    bool GetSetpointAllowed() override { return Guard(check_, [&] { return inner_->GetSetpointAllowed(); }); }
    void PutSetpoint(int16_t v) override { Guard(check_, [&] { inner_->PutSetpoint(v); }); }
    void PutSetpoint(double v) override { Guard(check_, [&] { inner_->PutSetpoint(v); }); }
    double GetSetpoint() override { return Guard(check_, [&] { return inner_->GetSetpoint(); }); }
    double GetSensorTemperature() override { return Guard(check_, [&] { return inner_->GetSensorTemperature(); }); }
    void PutAutoSaveName(const std::string& v) override { Guard(check_, [&] { inner_->PutAutoSaveName(v); }); }
    void PutAutoSaveStart(int16_t v) override { Guard(check_, [&] { inner_->PutAutoSaveStart(v); }); }

private:
    std::unique_ptr<HostCamera> inner_;
    Check check_;
};

class GuardedDocument final : public HostDocument {
public:
    GuardedDocument(std::unique_ptr<HostDocument> inner, Check check) : inner_(std::move(inner)), check_(std::move(check)) {}

    std::string GetDisplayName() override { return Guard(check_, [&] { return inner_->GetDisplayName(); }); }
    void SetFITSKey(const std::string& key, const FitsValue& value) override {
        Guard(check_, [&] { inner_->SetFITSKey(key, value); });
    }

private:
    std::unique_ptr<HostDocument> inner_;
    Check check_;
};

class GuardedDocumentList final : public HostDocumentList {
public:
    GuardedDocumentList(std::unique_ptr<HostDocumentList> inner, Check check)
        : inner_(std::move(inner)), check_(std::move(check)) {}

    int32_t GetCount() override { return Guard(check_, [&] { return inner_->GetCount(); }); }
    std::unique_ptr<HostDocument> GetItem(int16_t index) override {
        auto item = Guard(check_, [&] { return inner_->GetItem(index); });
        return std::make_unique<GuardedDocument>(std::move(item), check_);
    }
    // The binding's own scans, so that they keep what they spare per document; the check runs
    // between their two host calls too (SetBetweenCalls).
    void GetItemDisplayName(int16_t index, std::string& name) override {
        Guard(check_, [&] { inner_->GetItemDisplayName(index, name); });
    }
    bool ItemHasDisplayName(int16_t index, const DisplayName& name) override {
        return Guard(check_, [&] { return inner_->ItemHasDisplayName(index, name); });
    }

private:
    std::unique_ptr<HostDocumentList> inner_;
    Check check_;
};

class GuardedApplication final : public HostApplication {
public:
    GuardedApplication(std::unique_ptr<HostApplication> inner, Check check)
        : inner_(std::move(inner)), check_(std::move(check)) {}

    std::unique_ptr<HostDocumentList> GetDocuments() override {
        auto list = Guard(check_, [&] { return inner_->GetDocuments(); });
        list->SetBetweenCalls(check_);
        return std::make_unique<GuardedDocumentList>(std::move(list), check_);
    }

private:
    std::unique_ptr<HostApplication> inner_;
    Check check_;
};

}  // namespace

std::unique_ptr<HostCamera> GuardedHostFactory::CreateCamera() {
    auto camera = Guard(check_, [&] { return inner_.CreateCamera(); });
    return std::make_unique<GuardedCamera>(std::move(camera), check_);
}

std::unique_ptr<HostApplication> GuardedHostFactory::CreateApplication() {
    auto application = Guard(check_, [&] { return inner_.CreateApplication(); });
    return std::make_unique<GuardedApplication>(std::move(application), check_);
}

}  // namespace starwright
