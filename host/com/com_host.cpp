#include "host/com/com_host.h"

#include <algorithm>
#include <string_view>
#include <type_traits>
#include <variant>

#include "com/bstr.h"
#include "host/com/dispatch.h"
#include "host/com/host_ids.h"

namespace starwright::com {

namespace {

using namespace host_ids;

class ComCamera final : public HostCamera {
public:
    explicit ComCamera(Dispatch camera) : camera_(std::move(camera)) {}

    void PutPreLinkFlag(bool v) override { camera_.Put(camera::kPreLinkFlag, Argument::Bool(v)); }
    void PutConnected(bool v) override { camera_.Put(camera::kConnected, Argument::Bool(v)); }
    bool GetConnected() override { return camera_.GetBool(camera::kConnected); }
    void SignalRun(bool v) override {
        const Argument arg = Argument::Bool(v);
        camera_.Call(camera::kSignalRun, {&arg});
    }
    void PutCoolerEnabled(bool v) override { camera_.Put(camera::kCoolerEnabled, Argument::Bool(v)); }
    bool GetSetpointAllowed() override { return camera_.GetBool(camera::kSetpointAllowed); }
    void PutSetpoint(int16_t v) override { camera_.Put(camera::kSetpoint, Argument::I2(v)); }
    void PutSetpoint(double v) override { camera_.Put(camera::kSetpoint, Argument::R8(v)); }
    double GetSetpoint() override { return camera_.GetDouble(camera::kSetpoint); }
    double GetSensorTemperature() override { return camera_.GetDouble(camera::kSensorTemperature); }
    void PutAutoSaveName(const std::string& v) override { camera_.Put(camera::kAutoSaveName, Argument::Bstr(v)); }
    void PutAutoSaveStart(int16_t v) override { camera_.Put(camera::kAutoSaveStart, Argument::I2(v)); }

private:
    Dispatch camera_;
};

// The answer of comparing the text converted to UTF-8 with name.Utf8(), found in UTF-16 without
// converting: the conversion keeps every unit but an unpaired surrogate, which becomes U+FFFD,
// so texts of different lengths differ, and only a difference where the name holds U+FFFD needs
// the conversion to tell.
bool SameText(BSTR bstr, const DisplayName& name) {
    const std::wstring_view text(bstr ? bstr : L"", bstr ? SysStringLen(bstr) : 0);
    if (name.Utf16()) {
        const std::u16string& wanted = *name.Utf16();
        if (text.size() != wanted.size()) return false;
        const auto [at, _] = std::mismatch(text.begin(), text.end(), wanted.begin());
        if (at == text.end()) return true;
        if (wanted[static_cast<size_t>(at - text.begin())] != u'\uFFFD') return false;
    }
    return BstrToUtf8(bstr) == name.Utf8();
}

// Documents are called by member name: their dispatch identifiers are not fixed across hosts.
// The name's lookup is a call into the host of its own, so the list's check runs between it and
// the member's call.
class ComDocument final : public HostDocument {
public:
    ComDocument(Dispatch document, std::function<void()> betweenCalls)
        : document_(std::move(document)), betweenCalls_(std::move(betweenCalls)) {}

    std::string GetDisplayName() override { return document_.GetText(IdOf(L"DisplayName")); }

    void SetFITSKey(const std::string& key, const FitsValue& value) override {
        const DISPID id = IdOf(L"SetFITSKey");
        const Argument keyArg = Argument::Bstr(key);
        const Argument valueArg = std::visit(
            [](const auto& x) {
                using X = std::decay_t<decltype(x)>;
                if constexpr (std::is_same_v<X, double>) return Argument::R8(x);
                else if constexpr (std::is_same_v<X, int32_t>) return Argument::I4(x);
                else return Argument::Bstr(x);
            },
            value);
        document_.Call(id, {&keyArg, &valueArg});
    }

private:
    DISPID IdOf(const wchar_t* member) const {
        const DISPID id = document_.IdOfName(member);
        if (betweenCalls_) betweenCalls_();
        return id;
    }

    Dispatch document_;
    std::function<void()> betweenCalls_;
};

class ComDocumentList final : public HostDocumentList {
public:
    explicit ComDocumentList(Dispatch list) : list_(std::move(list)) {}

    int32_t GetCount() override { return list_.GetInt32(document_list::kCount); }
    std::unique_ptr<HostDocument> GetItem(int16_t index) override {
        const Argument arg = Argument::I2(index);
        return std::make_unique<ComDocument>(list_.GetObject(document_list::kItem, {&arg}), BetweenCallsCheck());
    }

    void GetItemDisplayName(int16_t index, std::string& name) override {
        UniqueVariant text;
        ItemDisplayName(index, text);
        const BSTR bstr = V_BSTR(text.Get());
        ToUtf8(std::wstring_view(bstr ? bstr : L"", bstr ? SysStringLen(bstr) : 0), name);
    }

    bool ItemHasDisplayName(int16_t index, const DisplayName& name) override {
        UniqueVariant text;
        ItemDisplayName(index, text);
        return SameText(V_BSTR(text.Get()), name);
    }

private:
    // The name as the host hands it over, a BSTR.
    void ItemDisplayName(int16_t index, UniqueVariant& text) {
        const Argument arg = Argument::I2(index);
        const Dispatch document = list_.GetObject(document_list::kItem, {&arg});
        BetweenCalls();
        const DISPID id = document.IdOfName(L"DisplayName");
        BetweenCalls();
        document.Get(id, text);
        ConvertResult(text, VT_BSTR);
    }

    Dispatch list_;
};

class ComApplication final : public HostApplication {
public:
    explicit ComApplication(Dispatch application) : application_(std::move(application)) {}

    std::unique_ptr<HostDocumentList> GetDocuments() override {
        return std::make_unique<ComDocumentList>(application_.GetObject(application::kDocuments));
    }

private:
    Dispatch application_;
};

}  // namespace

std::unique_ptr<HostCamera> ComHostFactory::CreateCamera() {
    return std::make_unique<ComCamera>(Dispatch::Create(kCameraClass));
}

std::unique_ptr<HostApplication> ComHostFactory::CreateApplication() {
    return std::make_unique<ComApplication>(Dispatch::Create(kApplicationClass));
}

}  // namespace starwright::com
