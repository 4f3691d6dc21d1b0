#pragma once
// The simulated host: a camera with a cooler that behaves physically, an application with
// named documents holding FITS headers, a recorder of every call with its argument types, and
// failures on demand. Both the native adapters (SimHostFactory) and the COM objects that stand
// in for the real host under Wine go through SimHost::Invoke, so every path records alike.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/sim/fits_header.h"
#include "platform/platform.h"
#include "platform/portable_platform.h"

namespace starwright::sim {

// The automation value types that cross to and from the host. Besides the five the tools
// pass, the host may answer with Empty, Null, an error value or an object where a value is due.
enum class VarType { Empty, Null, Bool, I2, I4, R8, Bstr, Object, Error };
const char* VarTypeName(VarType type);

struct Value {
    VarType type = VarType::Empty;
    double number = 0;   // Bool (-1 or 0), I2, I4, R8; Error: its code
    std::string text;    // Bstr
    // Object: the document's 1-based position, 0 for the document list, kNothing for Nothing.
    int object = 0;
    static constexpr int kNothing = -1;

    static Value Null() { return {VarType::Null}; }
    static Value Bool(bool v) { return {VarType::Bool, v ? -1.0 : 0.0}; }
    static Value I2(int16_t v) { return {VarType::I2, double(v)}; }
    static Value I4(int32_t v) { return {VarType::I4, double(v)}; }
    static Value R8(double v) { return {VarType::R8, v}; }
    static Value Bstr(std::string v) { return {VarType::Bstr, 0, std::move(v)}; }
    static Value Object(int position) { return {VarType::Object, 0, {}, position}; }
    static Value Nothing() { return Object(kNothing); }
    static Value Error(int32_t code) { return {VarType::Error, double(code)}; }
    bool IsTrue() const { return number != 0; }
    // "I2 -50", "Bool True", "Bstr \"M31\"", "R8 -10.68", "Object Nothing".
    std::string ToString() const;
};

enum class CallKind { Create, Get, Put, Call };

struct CallRecord {
    std::string object;  // "Camera", "Application", "Documents", "Document(2)"
    std::string member;  // "Setpoint", "Count", "DisplayName", ...; "" for Create
    CallKind kind;
    std::vector<Value> args;
    double seconds = 0;  // the simulated clock when the call was made
    // How the call ended, filled in when it returns: what it answered, or the failure it raised.
    // Neither while it runs.
    std::optional<Value> answer;
    std::optional<HostError> failure;
    // "Camera.Setpoint put I2 -50", "Documents.Item get I2 1", "create Camera".
    std::string ToString() const;
};

// A failure to inject: the call that matches `operation` (as in CallRecord::ToString's first
// part, e.g. "Camera.Connected put" or "create Application"; empty matches any call) and is
// the `nth` such call from now on (1 = the next) fails with this number and description.
struct Fault {
    std::string operation;
    int nth = 1;
    int32_t number = 0;
    std::string description;
};

// Something the host does inside one of its calls, as a real host lets window messages run
// while it works (a click, the close box, a tick, a nested DoModal): matched like a fault.
struct Pump {
    std::string operation;
    int nth = 1;
    std::function<void()> action;
};

// An answer the host gives instead of its own, matched like a fault.
struct Answer {
    std::string operation;
    int nth = 1;
    Value value;
};

// A simulated clock in seconds, moved on by tests and, in the demo, by real time.
class SimClock {
public:
    virtual ~SimClock() = default;
    virtual double Seconds() = 0;
};

class ManualClock final : public SimClock {
public:
    double Seconds() override { return now_; }
    void Advance(double seconds) { now_ += seconds; }

private:
    double now_ = 0;
};

// The camera's thermo-electric cooler. At full power it holds the sensor `maxDelta` below the
// ambient air; the camera's regulator asks for the share of that power the set-point needs,
// which saturates at 100 %, so a cold set-point on a warm night is not reached and the sensor
// settles at ambient - maxDelta. The sensor follows the power with a time constant; a cooler
// cannot heat, so a set-point above ambient leaves it at ambient.
struct CoolerModel {
    double ambient = 15.0;        // degrees C
    double maxDelta = 40.0;       // degrees C held below ambient at full power
    double timeConstant = 120.0;  // seconds
};

struct SimCameraState {
    bool refuseLink = false;        // Connected reads False after a request to link
    bool setpointAllowed = true;
    bool connected = false;
    bool coolerOn = false;
    bool readBackExact = true;      // Setpoint reads back what was written
    double setpoint = 0;
    double temperature = 15.0;      // sensor temperature now, degrees C
    double coolerPower = 0;         // share of full cooler power in use, 0 to 1
    std::optional<double> pinnedTemperature;  // reads this instead of the model
    std::string autoSaveName;
    int autoSaveStart = 0;
    CoolerModel cooler;
};

struct SimDocument {
    std::string displayName;
    FitsHeader header;
    bool open = true;
};

class SimHost {
public:
    explicit SimHost(SimClock* clock = nullptr);

    SimCameraState camera;
    std::vector<SimDocument> documents;  // open documents, in the host's order
    std::vector<CallRecord> calls;
    std::vector<Fault> faults;
    std::vector<Pump> pumps;
    std::vector<Answer> answers;
    // Runs inside every call, after it is recorded and before its pumps, faults and answers are
    // looked up: may run window events, or add a pump, fault or answer for this very call.
    std::function<void(const CallRecord&)> onCall;
    // Runs inside a member-name lookup on an object the host serves over COM ("Document(1).
    // SetFITSKey"), which a client makes before calling the member and which, like any call
    // into the host, may let window messages run. Not a call of the log.
    std::function<void(const std::string& objectAndMember)> onNameLookup;
    // A Count answered instead of the number of documents (to test overflow).
    std::optional<int32_t> countOverride;

    void AddDocument(const std::string& displayName) { documents.push_back({displayName, {}}); }
    void CloseDocument(const std::string& displayName);
    // A fault, on the nth matching call from now on.
    void FailOn(const std::string& operation, int32_t number, const std::string& description, int nth = 1);
    void PumpOn(const std::string& operation, std::function<void()> action, int nth = 1);
    void AnswerOn(const std::string& operation, Value value, int nth = 1);

    // Performs one host operation on behalf of an adapter or a COM object: records it, runs
    // onCall and any pump, applies any injected fault (throwing HostError), then answers as
    // told or acts. Throws HostError for what the host
    // itself refuses (a bad argument type, an invalid FITS keyword, no such document).
    Value Invoke(const std::string& object, const std::string& member, CallKind kind, std::vector<Value> args = {});

    // The recorded calls as text, optionally only those whose text starts with `prefix`.
    std::vector<std::string> CallTexts(const std::string& prefix = "") const;
    // Brings the sensor temperature up to the clock's present.
    void AdvanceCooler();

private:
    Value Perform(const CallRecord& call);
    Value InvokeCamera(const std::string& member, CallKind kind, const std::vector<Value>& args);
    Value InvokeDocuments(const std::string& member, CallKind kind, const std::vector<Value>& args);
    Value InvokeDocument(int position, const std::string& member, CallKind kind, const std::vector<Value>& args);

    SimClock* clock_;
    double lastSeconds_ = 0;
};

// Converts an answer to the type a caller takes it as, the way an automation client converts
// a result (VariantChangeType): Empty is zero, False or "", numbers and Booleans convert into
// each other, a String converts to a number by the system's own conversion in the locale of
// `numbers` (which skips thousands separators wherever they stand), and Null, an error value
// or an object where a value is due are a type mismatch. Throws HostError with the client's
// own number and description: 13 "Type mismatch", 6 "Overflow".
bool AnswerAsBool(const Value& answer, PortableNumberText& numbers);
double AnswerAsDouble(const Value& answer, PortableNumberText& numbers);
int32_t AnswerAsInt32(const Value& answer, PortableNumberText& numbers);
std::string AnswerAsText(const Value& answer, PortableNumberText& numbers);
// The object's name for SimHost::Invoke ("Documents", "Document(2)"); Nothing is error 91.
std::string AnswerAsObject(const Value& answer);

// The native adapters: HostCamera and friends over a SimHost, passing the same value types the
// COM binding passes and converting the answers as it does, with `numbers` standing for the
// user's locale.
class SimHostFactory final : public HostFactory {
public:
    explicit SimHostFactory(SimHost& host);
    SimHostFactory(SimHost& host, PortableNumberText& numbers) : host_(host), numbers_(numbers) {}
    std::unique_ptr<HostCamera> CreateCamera() override;
    std::unique_ptr<HostApplication> CreateApplication() override;

private:
    SimHost& host_;
    PortableNumberText& numbers_;
};

}  // namespace starwright::sim
