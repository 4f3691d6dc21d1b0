// What the host answers is not always what the tools expect. Answers are converted as an
// automation client converts them; what cannot be used is a clear error, shown where the handler
// shows its errors ("&Start Now" and the tick in the message line, the others in a message box),
// and never a crash, a wrapped number or a set-point from a temperature that is not one.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tests/hostile_answer_cases.h"
#include "tests/tool_session.h"

namespace starwright {
namespace {

using sim::Value;

TEST(HostileAnswers, ConvertAsAnAutomationClientDoes) {
    for (const char separator : {'.', ','}) {
        PortableNumberText numbers(separator, separator == '.' ? ',' : '.');
        for (const HostileAnswer& c : HostileAnswers()) {
            SCOPED_TRACE(std::string("separator ") + separator + ", " + c.answer.ToString());
            sim::SimHost host;
            sim::SimHostFactory factory(host, numbers);
            const char* expected = separator == ',' && c.german ? c.german : c.english;
            EXPECT_EQ(ReadHostileAnswer(factory, host, c), expected);
        }
    }
}

enum class Tool { Start, Tick, PhaseChange, Listing, Update, CreatePath };

struct Case {
    const char* name;
    Tool tool;
    std::function<void(sim::SimHost&)> answer;
    const char* shown;  // the error shown; "" for none
    std::function<void(ToolSession&)> check = nullptr;
    char decimalSeparator = '.';
};

std::function<void(sim::SimHost&)> Answer(const char* operation, Value value) {
    return [=](sim::SimHost& host) { host.AnswerOn(operation, value); };
}

// The host's list loses or gains a document after Count answered, just before `item`.
std::function<void(sim::SimHost&)> Before(const char* item, std::function<void(sim::SimHost&)> change) {
    return [=](sim::SimHost& host) { host.PumpOn(item, [&host, change] { change(host); }); };
}

std::vector<std::string> Entries(ToolSession& s, const char* list) {
    std::vector<std::string> entries;
    Control& control = s.form.Find(list);
    for (int16_t i = 0; i < control.GetListCount(); ++i) entries.push_back(control.GetListItem(i));
    return entries;
}

void NoSetpointFromTheReading(ToolSession& s) {
    EXPECT_TRUE(s.host.CallTexts("Camera.Setpoint put R8").empty());
    EXPECT_EQ(s.host.camera.setpoint, -50);
}

TEST(HostileAnswers, TheToolsShowWhatCannotBeUsed) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::string megabyte(1 << 20, 'x');
    const char* notSet = "Object variable or With block variable not set";
    const Case cases[] = {
        {"link read as text", Tool::Start, Answer("Camera.Connected get", Value::Bstr("True")), "",
         [](ToolSession& s) { EXPECT_EQ(s.form.Find("lblTime").GetCaption(), "600"); }},
        {"link read as Empty", Tool::Start, Answer("Camera.Connected get", Value{}), "Failed to start camera."},
        {"link read as Null", Tool::Start, Answer("Camera.Connected get", Value::Null()), "Type mismatch",
         [](ToolSession& s) { EXPECT_EQ(s.host.CallTexts().back(), "Camera.SignalRun call Bool True"); }},
        {"set-point allowed as an error", Tool::Start,
         Answer("Camera.SetpointAllowed get", Value::Error(static_cast<int32_t>(0x80020004))), "Type mismatch"},
        {"set-point allowed as an object", Tool::Start, Answer("Camera.SetpointAllowed get", Value::Object(1)), "Type mismatch"},
        {"temperature as text", Tool::Tick, Answer("Camera.SensorTemperature", Value::Bstr("-12.5")), "",
         [](ToolSession& s) { EXPECT_EQ(s.form.Find("lblTemp").GetCaption(), "-12.5"); }},
        {"temperature as German text", Tool::Tick, Answer("Camera.SensorTemperature", Value::Bstr("-12,5")), "",
         [](ToolSession& s) { EXPECT_EQ(s.form.Find("lblTemp").GetCaption(), "-12,5"); }, ','},
        {"temperature NaN", Tool::Tick, Answer("Camera.SensorTemperature", Value::R8(nan)), "Overflow"},
        {"temperature infinite", Tool::Tick, Answer("Camera.SensorTemperature", Value::R8(-inf)), "Overflow"},
        {"temperature 1e300", Tool::Tick, Answer("Camera.SensorTemperature", Value::R8(1e300)), "Overflow"},
        {"temperature Null", Tool::Tick, Answer("Camera.SensorTemperature", Value::Null()), "Type mismatch"},
        {"temperature Nothing", Tool::Tick, Answer("Camera.SensorTemperature", Value::Nothing()), "Type mismatch"},
        {"reading NaN at the phase change", Tool::PhaseChange, Answer("Camera.SensorTemperature", Value::R8(nan)),
         "Overflow", NoSetpointFromTheReading},
        {"reading infinite at the phase change", Tool::PhaseChange, Answer("Camera.SensorTemperature", Value::R8(inf)),
         "Overflow", NoSetpointFromTheReading},
        {"reading as text at the phase change", Tool::PhaseChange,
         Answer("Camera.SensorTemperature", Value::Bstr("-12.34")), "",
         [](ToolSession& s) { EXPECT_EQ(s.host.camera.setpoint, -12 * 0.89); }},
        {"set-point read back NaN", Tool::PhaseChange, Answer("Camera.Setpoint get", Value::R8(nan)), "Overflow"},
        {"count as text", Tool::Listing, Answer("Documents.Count", Value::Bstr("2")), "",
         [](ToolSession& s) { EXPECT_EQ(Entries(s, "lstImagesBin"), (std::vector<std::string>{"A.fit", "B.fit"})); }},
        {"count negative", Tool::Listing, Answer("Documents.Count", Value::I4(-3)), "",
         [](ToolSession& s) { EXPECT_TRUE(Entries(s, "lstImagesBin").empty()); }},
        {"count huge", Tool::Listing, Answer("Documents.Count", Value::R8(1e10)), "Overflow"},
        {"count Null", Tool::Listing, Answer("Documents.Count", Value::Null()), "Type mismatch"},
        {"no document list", Tool::Listing, Answer("Application.Documents", Value::Nothing()), notSet},
        {"no document", Tool::Listing, Answer("Documents.Item", Value::Nothing()), notSet},
        {"a number for a document", Tool::Listing, Answer("Documents.Item", Value::I4(1)), "Type mismatch"},
        {"a 1 MB display name", Tool::Listing, Answer("Document(1).DisplayName", Value::Bstr(megabyte)), "",
         [&](ToolSession& s) { EXPECT_EQ(Entries(s, "lstImagesBin"), (std::vector<std::string>{megabyte, "B.fit"})); }},
        {"display name Null", Tool::Listing, Answer("Document(2).DisplayName", Value::Null()), "Type mismatch",
         [](ToolSession& s) { EXPECT_EQ(Entries(s, "lstImagesBin"), std::vector<std::string>{"A.fit"}); }},
        {"list shrinks after Count", Tool::Listing,
         Before("Documents.Item get I2 1", [](sim::SimHost& h) { h.documents.pop_back(); }), "Invalid index"},
        {"list grows after Count", Tool::Listing, Before("Documents.Item get I2 1", [](sim::SimHost& h) { h.AddDocument("C.fit"); }), "",
         [](ToolSession& s) { EXPECT_EQ(Entries(s, "lstImagesBin"), (std::vector<std::string>{"A.fit", "B.fit"})); }},
        {"update: count as a word", Tool::Update, Answer("Documents.Count", Value::Bstr("two")), "Type mismatch"},
        {"update: no document", Tool::Update, Answer("Documents.Item get I2 2", Value::Nothing()), notSet,
         [](ToolSession& s) { EXPECT_TRUE(s.host.CallTexts("Document(2).SetFITSKey").empty()); }},
        {"update: list shrinks after Count", Tool::Update, Before("Documents.Item get I2 2", [](sim::SimHost& h) { h.documents.pop_back(); }),
         "Invalid index"},
        {"path: link read as text", Tool::CreatePath, Answer("Camera.Connected get", Value::Bstr("False")),
         "C:\\MaximDL\\19991231\\M31\\ Path Created",
         [](ToolSession& s) { EXPECT_EQ(s.host.CallTexts("Camera.Connected put").size(), 1u); }},
        {"path: link read as Null", Tool::CreatePath, Answer("Camera.Connected get", Value::Null()), "Type mismatch",
         [](ToolSession& s) { EXPECT_TRUE(s.form.IsLoaded()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ToolSession s(c.decimalSeparator);
        HeadlessWindow& ui = s.Ui();
        switch (c.tool) {
        case Tool::Start: ui.Click("optOptions", 1); break;
        case Tool::Tick: s.Start(); break;
        case Tool::PhaseChange: s.Start(), s.Ticks(599); break;
        case Tool::Listing: break;
        case Tool::Update:
            ui.Click("optOptions", 2);
            ui.Click("cmdBinMove", 0);
            ui.Type("txtKey", "SET-TEMP");
            ui.Type("txtKeyValue", "-20");
            break;
        case Tool::CreatePath: ui.Type("txtObject", "M31"); break;
        }
        c.answer(s.host);
        switch (c.tool) {
        case Tool::Start: ui.Click("cmdStart"); break;
        case Tool::Tick:
        case Tool::PhaseChange: s.Ticks(1); break;
        case Tool::Listing: ui.Click("optOptions", 2); break;
        case Tool::Update: ui.Click("cmdSet"); break;
        case Tool::CreatePath: ui.Click("cmdCreate"); break;
        }
        const bool inMessageLine = c.tool == Tool::Start || c.tool == Tool::Tick || c.tool == Tool::PhaseChange;
        if (inMessageLine) {
            EXPECT_EQ(s.form.Find("txtMessage2").GetCaption(), *c.shown ? c.shown : "None");
            EXPECT_TRUE(ui.messages.empty());
        } else {
            EXPECT_EQ(ui.messages, *c.shown ? std::vector<std::string>{c.shown} : std::vector<std::string>{});
        }
        if (c.check) c.check(s);
    }
}

}  // namespace
}  // namespace starwright
