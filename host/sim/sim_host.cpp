#include "host/sim/sim_host.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "platform/portable_platform.h"

namespace starwright::sim {

namespace {

// Error numbers an automation server raises for its own refusals.
constexpr int32_t kErrHostTypeMismatch = static_cast<int32_t>(0x80020005);  // DISP_E_TYPEMISMATCH
constexpr int32_t kErrHostBadIndex = static_cast<int32_t>(0x8002000B);      // DISP_E_BADINDEX
constexpr int32_t kErrHostUnknownMember = static_cast<int32_t>(0x80020003); // DISP_E_MEMBERNOTFOUND

std::string Number(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", v);
    return buffer;
}

const char* KindName(CallKind kind) {
    switch (kind) {
    case CallKind::Create: return "create";
    case CallKind::Get: return "get";
    case CallKind::Put: return "put";
    case CallKind::Call: return "call";
    }
    return "?";
}

HostError Refuse(int32_t number, const std::string& description) { return HostError(number, description); }

// Counts down every entry that matches the operation and removes and returns the first one
// whose count reaches its call.
template <typename Entry>
std::optional<Entry> TakeMatch(std::vector<Entry>& entries, const std::string& operation) {
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        const bool matches = it->operation.empty() || operation.compare(0, it->operation.size(), it->operation) == 0;
        if (!matches) continue;
        if (--it->nth > 0) continue;
        Entry taken = std::move(*it);
        entries.erase(it);
        return taken;
    }
    return std::nullopt;
}

const Value& OneArg(const std::vector<Value>& args) {
    if (args.size() != 1) throw Refuse(kErrHostTypeMismatch, "Wrong number of arguments");
    return args[0];
}

bool BoolArg(const std::vector<Value>& args) {
    const Value& v = OneArg(args);
    if (v.type != VarType::Bool) throw Refuse(kErrHostTypeMismatch, "Type mismatch");
    return v.IsTrue();
}

double NumberArg(const std::vector<Value>& args) {
    const Value& v = OneArg(args);
    if (v.type != VarType::I2 && v.type != VarType::I4 && v.type != VarType::R8)
        throw Refuse(kErrHostTypeMismatch, "Type mismatch");
    return v.number;
}

}  // namespace

const char* VarTypeName(VarType type) {
    switch (type) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Error: return "Error";
    case VarType::Bool: return "Bool";
    case VarType::I2: return "I2";
    case VarType::I4: return "I4";
    case VarType::R8: return "R8";
    case VarType::Bstr: return "Bstr";
    case VarType::Object: return "Object";
    }
    return "?";
}

std::string Value::ToString() const {
    switch (type) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Bool: return std::string("Bool ") + (IsTrue() ? "True" : "False");
    case VarType::Bstr: return "Bstr \"" + text + "\"";
    case VarType::Object: return object == kNothing ? "Object Nothing" : "Object " + std::to_string(object);
    default: return std::string(VarTypeName(type)) + " " + Number(number);
    }
}

std::string CallRecord::ToString() const {
    if (kind == CallKind::Create) return std::string("create ").append(object);
    std::string s = object + "." + member + " " + KindName(kind);
    for (const Value& arg : args) s.append(" ").append(arg.ToString());
    return s;
}

SimHost::SimHost(SimClock* clock) : clock_(clock) {
    if (clock_) lastSeconds_ = clock_->Seconds();
}

void SimHost::CloseDocument(const std::string& displayName) {
    auto it = std::find_if(documents.begin(), documents.end(),
                           [&](const SimDocument& d) { return d.displayName == displayName; });
    if (it != documents.end()) documents.erase(it);
}

void SimHost::FailOn(const std::string& operation, int32_t number, const std::string& description, int nth) {
    faults.push_back({operation, nth, number, description});
}

void SimHost::PumpOn(const std::string& operation, std::function<void()> action, int nth) {
    pumps.push_back({operation, nth, std::move(action)});
}

void SimHost::AnswerOn(const std::string& operation, Value value, int nth) {
    answers.push_back({operation, nth, std::move(value)});
}

std::vector<std::string> SimHost::CallTexts(const std::string& prefix) const {
    std::vector<std::string> texts;
    for (const CallRecord& call : calls) {
        std::string text = call.ToString();
        if (text.compare(0, prefix.size(), prefix) == 0) texts.push_back(std::move(text));
    }
    return texts;
}

void SimHost::AdvanceCooler() {
    if (!clock_) return;
    const double now = clock_->Seconds();
    double dt = now - lastSeconds_;
    lastSeconds_ = now;
    if (dt <= 0) return;
    const CoolerModel& model = camera.cooler;
    SimCameraState& c = camera;
    const double coldest = model.ambient - model.maxDelta;
    // Relaxes toward `floor` (where the sensor settles at constant power) for up to dt seconds,
    // stopping early once the sensor reaches `stop`, and leaves in dt the time not used. Exact
    // for any dt, so a demo running on real time and a test jumping ten minutes agree.
    auto relax = [&](double floor, double stop) {
        const double from = c.temperature - floor;
        const double to = stop - floor;
        double used = dt;
        if (from != 0 && to / from > 0 && to / from < 1) used = std::min(dt, -model.timeConstant * std::log(to / from));
        c.temperature = used == dt ? floor + from * std::exp(-dt / model.timeConstant) : stop;
        dt -= used;
    };
    if (!c.coolerOn) {
        c.coolerPower = 0;
        relax(model.ambient, model.ambient);
        return;
    }
    // The regulator runs flat out while the sensor is warmer than the set-point and idles while
    // it is colder; once there, it holds it with the power the set-point needs, which saturates.
    const double hold = std::clamp((model.ambient - c.setpoint) / model.maxDelta, 0.0, 1.0);
    const double target = model.ambient - hold * model.maxDelta;
    if (c.temperature > target) {
        c.coolerPower = 1;
        relax(coldest, target);
    } else if (c.temperature < target) {
        c.coolerPower = 0;
        relax(model.ambient, target);
    }
    if (dt > 0 || c.temperature == target) {
        c.coolerPower = hold;
        c.temperature = target;
    }
}

Value SimHost::Invoke(const std::string& object, const std::string& member, CallKind kind, std::vector<Value> args) {
    CallRecord record{object, member, kind, std::move(args), clock_ ? clock_->Seconds() : 0.0};
    // By position, not reference: the call may add others (and move the log) before it ends.
    const size_t at = calls.size();
    calls.push_back(record);
    try {
        Value answer = Perform(record);
        calls[at].answer = answer;
        return answer;
    } catch (const HostError& error) {
        calls[at].failure = error;
        throw;
    }
}

Value SimHost::Perform(const CallRecord& record) {
    const std::string operation = record.ToString();
    if (onCall) onCall(record);
    // Taken out of its list before it runs: the action may call the host again.
    if (auto pump = TakeMatch(pumps, operation)) pump->action();
    if (auto fault = TakeMatch(faults, operation)) throw HostError(fault->number, fault->description);
    if (auto answer = TakeMatch(answers, operation)) return answer->value;
    const std::string& object = record.object;
    const std::string& member = record.member;
    const CallKind kind = record.kind;
    const std::vector<Value>& a = record.args;
    if (kind == CallKind::Create) return {};
    if (object == "Camera") return InvokeCamera(member, kind, a);
    if (object == "Application" && member == "Documents" && kind == CallKind::Get) return Value::Object(0);
    if (object == "Documents") return InvokeDocuments(member, kind, a);
    if (object.rfind("Document(", 0) == 0) return InvokeDocument(std::stoi(object.substr(9)), member, kind, a);
    throw Refuse(kErrHostUnknownMember, "Member not found");
}

Value SimHost::InvokeCamera(const std::string& member, CallKind kind, const std::vector<Value>& args) {
    AdvanceCooler();
    SimCameraState& c = camera;
    const bool put = kind == CallKind::Put;
    const bool get = kind == CallKind::Get;
    if (member == "PreLinkFlag" && put) return BoolArg(args), Value{};
    if (member == "Connected" && put) {
        if (BoolArg(args) && !c.refuseLink) c.connected = true;
        if (!BoolArg(args)) c.connected = false;
        return {};
    }
    if (member == "Connected" && get) return Value::Bool(c.connected);
    if (member == "SignalRun" && kind == CallKind::Call) return BoolArg(args), Value{};
    // Like a real camera driver, the cooler answers only over a live link.
    const bool cooler = member == "CoolerEnabled" || member == "SetpointAllowed" || member == "Setpoint" ||
                        member == "SensorTemperature";
    if (cooler && !c.connected) throw Refuse(static_cast<int32_t>(0x80040402), "The camera is not connected");
    if (member == "CoolerEnabled" && put) {
        c.coolerOn = BoolArg(args);
        return {};
    }
    if (member == "SetpointAllowed" && get) return Value::Bool(c.setpointAllowed);
    if (member == "Setpoint" && put) {
        const double v = NumberArg(args);
        if (!c.setpointAllowed) throw Refuse(static_cast<int32_t>(0x80040401), "The set-point of this camera cannot be changed");
        // A camera's controller keeps the set-point in hundredths of a degree.
        c.setpoint = c.readBackExact ? v : std::round(v * 100.0) / 100.0;
        return {};
    }
    if (member == "Setpoint" && get) return Value::R8(c.setpoint);
    if (member == "SensorTemperature" && get) return Value::R8(c.pinnedTemperature.value_or(c.temperature));
    if (member == "AutoSaveName" && put) {
        const Value& v = OneArg(args);
        if (v.type != VarType::Bstr) throw Refuse(kErrHostTypeMismatch, "Type mismatch");
        c.autoSaveName = v.text;
        return {};
    }
    if (member == "AutoSaveStart" && put) {
        c.autoSaveStart = static_cast<int>(NumberArg(args));
        return {};
    }
    throw Refuse(kErrHostUnknownMember, "Member not found");
}

Value SimHost::InvokeDocuments(const std::string& member, CallKind kind, const std::vector<Value>& args) {
    if (member == "Count" && kind == CallKind::Get)
        return Value::I4(countOverride.value_or(static_cast<int32_t>(documents.size())));
    if (member == "Item" && kind == CallKind::Get) {
        const double position = NumberArg(args);
        if (position < 1 || position > static_cast<double>(documents.size()))
            throw Refuse(kErrHostBadIndex, "Invalid index");
        return Value::Object(static_cast<int>(position));
    }
    throw Refuse(kErrHostUnknownMember, "Member not found");
}

Value SimHost::InvokeDocument(int position, const std::string& member, CallKind kind, const std::vector<Value>& args) {
    if (position < 1 || position > static_cast<int>(documents.size()))
        throw Refuse(kErrHostBadIndex, "The document has been closed");
    SimDocument& document = documents[position - 1];
    if (member == "DisplayName" && kind == CallKind::Get) return Value::Bstr(document.displayName);
    if (member == "SetFITSKey" && kind == CallKind::Call) {
        if (args.size() != 2 || args[0].type != VarType::Bstr) throw Refuse(kErrHostTypeMismatch, "Type mismatch");
        const Value& v = args[1];
        switch (v.type) {
        case VarType::R8: document.header.Set(args[0].text, v.number); break;
        case VarType::I4: document.header.Set(args[0].text, static_cast<int32_t>(v.number)); break;
        case VarType::Bstr: document.header.Set(args[0].text, v.text); break;
        default: throw Refuse(kErrHostTypeMismatch, "Type mismatch");
        }
        return {};
    }
    throw Refuse(kErrHostUnknownMember, "Member not found");
}

namespace {

PortableNumberText& EnglishNumbers() {
    static PortableNumberText english;
    return english;
}

HostError ClientFailure(const Failure& failure) { return HostError(failure.Number(), failure.Description()); }

// A String converted through the locale's number text, failing as the client's conversion does.
template <typename Conversion>
auto FromText(Conversion&& conversion) {
    try {
        return conversion();
    } catch (const HostError&) {
        throw;
    } catch (const Failure& failure) {
        throw ClientFailure(failure);
    }
}

bool IsNumber(VarType type) {
    return type == VarType::Bool || type == VarType::I2 || type == VarType::I4 || type == VarType::R8;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
    const auto same = [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; };
    return text.size() == lower.size() && std::equal(text.begin(), text.end(), lower.begin(), same);
}

}  // namespace

bool AnswerAsBool(const Value& answer, PortableNumberText& numbers) {
    if (answer.type == VarType::Empty) return false;
    if (IsNumber(answer.type)) return answer.number != 0;  // NaN included, as the client has it
    if (answer.type != VarType::Bstr) throw ClientFailure(TypeMismatchFailure());
    for (const char* yes : {"true", "#true#"})
        if (EqualsIgnoringCase(answer.text, yes)) return true;
    for (const char* no : {"false", "#false#"})
        if (EqualsIgnoringCase(answer.text, no)) return false;
    return FromText([&] { return numbers.SystemParseDouble(answer.text); }) != 0;
}

double AnswerAsDouble(const Value& answer, PortableNumberText& numbers) {
    if (answer.type == VarType::Empty) return 0;
    if (IsNumber(answer.type)) return answer.number;
    if (answer.type != VarType::Bstr) throw ClientFailure(TypeMismatchFailure());
    return FromText([&] { return numbers.SystemParseDouble(answer.text); });
}

int32_t AnswerAsInt32(const Value& answer, PortableNumberText& numbers) {
    if (answer.type == VarType::Empty) return 0;
    if (answer.type == VarType::Bstr) return FromText([&] { return numbers.SystemParseInt32(answer.text); });
    if (!IsNumber(answer.type)) throw ClientFailure(TypeMismatchFailure());
    // Rounded half to even; NaN and anything outside 32 bits overflow.
    const double rounded = std::nearbyint(answer.number);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) throw ClientFailure(OverflowFailure());
    return static_cast<int32_t>(rounded);
}

std::string AnswerAsText(const Value& answer, PortableNumberText& numbers) {
    switch (answer.type) {
    case VarType::Empty: return "";
    case VarType::Bool: return answer.IsTrue() ? "True" : "False";
    case VarType::I2:
    case VarType::I4: return std::to_string(static_cast<int32_t>(answer.number));
    case VarType::R8: return FromText([&] { return numbers.FormatGeneral(answer.number); });
    case VarType::Bstr: return answer.text;
    default: throw ClientFailure(TypeMismatchFailure());
    }
}

std::string AnswerAsObject(const Value& answer) {
    if (answer.type != VarType::Object) throw ClientFailure(TypeMismatchFailure());
    if (answer.object == Value::kNothing) throw ClientFailure(ObjectNotSetFailure());
    return answer.object == 0 ? "Documents" : "Document(" + std::to_string(answer.object) + ")";
}

namespace {

class SimCamera final : public HostCamera {
public:
    SimCamera(SimHost& host, PortableNumberText& numbers) : host_(host), numbers_(numbers) {}
    void PutPreLinkFlag(bool v) override { Put("PreLinkFlag", Value::Bool(v)); }
    void PutConnected(bool v) override { Put("Connected", Value::Bool(v)); }
    bool GetConnected() override { return AnswerAsBool(Get("Connected"), numbers_); }
    void SignalRun(bool v) override { host_.Invoke("Camera", "SignalRun", CallKind::Call, {Value::Bool(v)}); }
    void PutCoolerEnabled(bool v) override { Put("CoolerEnabled", Value::Bool(v)); }
    bool GetSetpointAllowed() override { return AnswerAsBool(Get("SetpointAllowed"), numbers_); }
    void PutSetpoint(int16_t v) override { Put("Setpoint", Value::I2(v)); }
    void PutSetpoint(double v) override { Put("Setpoint", Value::R8(v)); }
    double GetSetpoint() override { return AnswerAsDouble(Get("Setpoint"), numbers_); }
    double GetSensorTemperature() override { return AnswerAsDouble(Get("SensorTemperature"), numbers_); }
    void PutAutoSaveName(const std::string& v) override { Put("AutoSaveName", Value::Bstr(v)); }
    void PutAutoSaveStart(int16_t v) override { Put("AutoSaveStart", Value::I2(v)); }

private:
    void Put(const char* member, Value v) { host_.Invoke("Camera", member, CallKind::Put, {std::move(v)}); }
    Value Get(const char* member) { return host_.Invoke("Camera", member, CallKind::Get); }
    SimHost& host_;
    PortableNumberText& numbers_;
};

class SimDocumentAdapter final : public HostDocument {
public:
    SimDocumentAdapter(SimHost& host, PortableNumberText& numbers, std::string name)
        : host_(host), numbers_(numbers), name_(std::move(name)) {}
    std::string GetDisplayName() override {
        return AnswerAsText(host_.Invoke(name_, "DisplayName", CallKind::Get), numbers_);
    }
    void SetFITSKey(const std::string& key, const FitsValue& value) override {
        Value v = std::visit(
            [](const auto& x) -> Value {
                using X = std::decay_t<decltype(x)>;
                if constexpr (std::is_same_v<X, double>) return Value::R8(x);
                else if constexpr (std::is_same_v<X, int32_t>) return Value::I4(x);
                else return Value::Bstr(x);
            },
            value);
        host_.Invoke(name_, "SetFITSKey", CallKind::Call, {Value::Bstr(key), std::move(v)});
    }

private:
    SimHost& host_;
    PortableNumberText& numbers_;
    std::string name_;
};

class SimDocumentList final : public HostDocumentList {
public:
    SimDocumentList(SimHost& host, PortableNumberText& numbers, std::string name)
        : host_(host), numbers_(numbers), name_(std::move(name)) {}
    int32_t GetCount() override { return AnswerAsInt32(host_.Invoke(name_, "Count", CallKind::Get), numbers_); }
    std::unique_ptr<HostDocument> GetItem(int16_t index) override {
        Value v = host_.Invoke(name_, "Item", CallKind::Get, {Value::I2(index)});
        return std::make_unique<SimDocumentAdapter>(host_, numbers_, AnswerAsObject(v));
    }

private:
    SimHost& host_;
    PortableNumberText& numbers_;
    std::string name_;
};

class SimApplication final : public HostApplication {
public:
    SimApplication(SimHost& host, PortableNumberText& numbers) : host_(host), numbers_(numbers) {}
    std::unique_ptr<HostDocumentList> GetDocuments() override {
        Value v = host_.Invoke("Application", "Documents", CallKind::Get);
        return std::make_unique<SimDocumentList>(host_, numbers_, AnswerAsObject(v));
    }

private:
    SimHost& host_;
    PortableNumberText& numbers_;
};

}  // namespace

SimHostFactory::SimHostFactory(SimHost& host) : host_(host), numbers_(EnglishNumbers()) {}

std::unique_ptr<HostCamera> SimHostFactory::CreateCamera() {
    host_.Invoke("Camera", "", CallKind::Create);
    return std::make_unique<SimCamera>(host_, numbers_);
}

std::unique_ptr<HostApplication> SimHostFactory::CreateApplication() {
    host_.Invoke("Application", "", CallKind::Create);
    return std::make_unique<SimApplication>(host_, numbers_);
}

}  // namespace starwright::sim
