// The COM binding (ComHostFactory) against the simulated host registered as COM objects in
// this process: what crosses, with which VARIANT types, and how failures come back.
#include <windows.h>
#include <objbase.h>
#include <winerror.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/com/automation_error.h"
#include "host/com/com_host.h"
#include "host/com/dispatch.h"
#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"
#include "tests/hostile_answer_cases.h"
#include "tests/wine/test_main.h"

namespace starwright {
namespace {

using sim::SimComServer;
using sim::SimHost;

class ComBindingTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(server_.Register(), S_OK); }

    SimHost host_;
    SimComServer server_{host_};
    com::ComHostFactory factory_;
};

struct CameraCase {
    const char* name;
    std::function<void(HostCamera&)> operation;
    const char* recorded;
};

TEST_F(ComBindingTest, CameraOperationsCrossWithTheirVariantTypes) {
    host_.camera.connected = true;
    const CameraCase cases[] = {
        {"PreLinkFlag", [](HostCamera& c) { c.PutPreLinkFlag(true); }, "Camera.PreLinkFlag put Bool True"},
        {"ConnectedTrue", [](HostCamera& c) { c.PutConnected(true); }, "Camera.Connected put Bool True"},
        {"ConnectedGet", [](HostCamera& c) { c.GetConnected(); }, "Camera.Connected get"},
        {"SignalRunFalse", [](HostCamera& c) { c.SignalRun(false); }, "Camera.SignalRun call Bool False"},
        {"SignalRunTrue", [](HostCamera& c) { c.SignalRun(true); }, "Camera.SignalRun call Bool True"},
        {"Cooler", [](HostCamera& c) { c.PutCoolerEnabled(true); }, "Camera.CoolerEnabled put Bool True"},
        {"SetpointAllowed", [](HostCamera& c) { c.GetSetpointAllowed(); }, "Camera.SetpointAllowed get"},
        {"SetpointInteger", [](HostCamera& c) { c.PutSetpoint(int16_t{-50}); }, "Camera.Setpoint put I2 -50"},
        {"SetpointDouble", [](HostCamera& c) { c.PutSetpoint(-10.68); }, "Camera.Setpoint put R8 -10.68"},
        {"SetpointGet", [](HostCamera& c) { c.GetSetpoint(); }, "Camera.Setpoint get"},
        {"Temperature", [](HostCamera& c) { c.GetSensorTemperature(); }, "Camera.SensorTemperature get"},
        {"AutoSaveName", [](HostCamera& c) { c.PutAutoSaveName("C:\\MaximDL\\20240101\\M31\\M31"); },
         "Camera.AutoSaveName put Bstr \"C:\\MaximDL\\20240101\\M31\\M31\""},
        {"AutoSaveStart", [](HostCamera& c) { c.PutAutoSaveStart(1); }, "Camera.AutoSaveStart put I2 1"},
    };
    auto camera = factory_.CreateCamera();
    for (const CameraCase& c : cases) {
        SCOPED_TRACE(c.name);
        host_.calls.clear();
        ASSERT_NO_THROW(c.operation(*camera));
        EXPECT_EQ(host_.CallTexts(), std::vector<std::string>{c.recorded});
    }
}

struct GetCase {
    const char* name;
    std::function<void(SimHost&)> arrange;
    std::function<double(HostCamera&)> read;
    double expected;
};

TEST_F(ComBindingTest, CameraGetsAnswerTheHostsState) {
    const GetCase cases[] = {
        {"SetpointLocked", [](SimHost& h) { h.camera.setpointAllowed = false; },
         [](HostCamera& c) { return c.GetSetpointAllowed() ? 1.0 : 0.0; }, 0},
        {"SetpointAllowed", [](SimHost& h) { h.camera.setpointAllowed = true; },
         [](HostCamera& c) { return c.GetSetpointAllowed() ? 1.0 : 0.0; }, 1},
        {"Setpoint", [](SimHost& h) { h.camera.setpoint = -10.68; }, [](HostCamera& c) { return c.GetSetpoint(); }, -10.68},
        {"Temperature", [](SimHost& h) { h.camera.pinnedTemperature = -24.75; },
         [](HostCamera& c) { return c.GetSensorTemperature(); }, -24.75},
        {"Connected", [](SimHost& h) { h.camera.connected = true; }, [](HostCamera& c) { return c.GetConnected() ? 1.0 : 0.0; }, 1},
        {"NotConnected", [](SimHost& h) { h.camera.connected = false; }, [](HostCamera& c) { return c.GetConnected() ? 1.0 : 0.0; }, 0},
    };
    host_.camera.connected = true;  // the cooler answers over a live link only
    auto camera = factory_.CreateCamera();
    for (const GetCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange(host_);
        EXPECT_EQ(c.read(*camera), c.expected);
    }
}

TEST_F(ComBindingTest, WrittenSettingsReachTheHost) {
    auto camera = factory_.CreateCamera();
    camera->PutPreLinkFlag(true);
    camera->PutConnected(true);
    camera->PutCoolerEnabled(true);
    camera->PutSetpoint(int16_t{-50});
    EXPECT_TRUE(camera->GetConnected());
    EXPECT_TRUE(host_.camera.coolerOn);
    EXPECT_EQ(camera->GetSetpoint(), -50.0);
    camera->PutAutoSaveName("D:\\Images\\20240101\\M31\\M31");
    camera->PutAutoSaveStart(1);
    EXPECT_EQ(host_.camera.autoSaveName, "D:\\Images\\20240101\\M31\\M31");
    EXPECT_EQ(host_.camera.autoSaveStart, 1);
    EXPECT_EQ(host_.CallTexts("create"), std::vector<std::string>{"create Camera"});
}

// Names outside ASCII, including one beyond the Basic Multilingual Plane (a surrogate pair in
// UTF-16), must come back byte for byte.
TEST_F(ComBindingTest, DocumentsAreListedByDisplayName) {
    const std::vector<std::string> names = {"M31 Andromeda", "Nébuleuse d'Orion", "Плеяды", "天体 \xF0\x9F\x94\xAD", ""};
    for (const std::string& name : names) host_.AddDocument(name);
    auto application = factory_.CreateApplication();
    auto documents = application->GetDocuments();
    const int16_t count = NarrowToInt16(documents->GetCount());
    ASSERT_EQ(count, static_cast<int16_t>(names.size()));
    std::vector<std::string> listed;
    for (int16_t i = 1; i <= count; ++i) listed.push_back(documents->GetItem(i)->GetDisplayName());
    EXPECT_EQ(listed, names);
    const std::vector<std::string> first = {"create Application", "Application.Documents get", "Documents.Count get",
                                            "Documents.Item get I2 1", "Document(1).DisplayName get"};
    const std::vector<std::string> calls = host_.CallTexts();
    ASSERT_GE(calls.size(), first.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + first.size()), first);
}

// The shortcuts of long listings and scans make the calls of fetching each document and reading
// its name, and give the same names and the same answers to "is it this one?".
TEST_F(ComBindingTest, ScansAnswerAsReadingEachNameDoes) {
    const std::vector<std::string> names = {"M31_L_001.fit", "m31_l_001.fit", "M31_L_001.fi", "Nébuleuse",
                                            "天体 \xF0\x9F\x94\xAD", "bad \xFF byte", ""};
    for (const std::string& name : names) host_.AddDocument(name);
    std::vector<std::string> wanted = names;
    wanted.insert(wanted.end(), {"M31_L_001.fitX", "bad \xEF\xBF\xBD byte"});
    auto documents = factory_.CreateApplication()->GetDocuments();
    for (int16_t position = 1; position <= static_cast<int16_t>(names.size()); ++position) {
        SCOPED_TRACE(names[position - 1]);
        host_.calls.clear();
        const std::string read = documents->GetItem(position)->GetDisplayName();
        const std::vector<std::string> calls = host_.CallTexts();
        std::string listed = "a longer name left from the one before";
        host_.calls.clear();
        documents->GetItemDisplayName(position, listed);
        EXPECT_EQ(listed, read);
        EXPECT_EQ(host_.CallTexts(), calls);
        for (const std::string& name : wanted) {
            host_.calls.clear();
            EXPECT_EQ(documents->ItemHasDisplayName(position, DisplayName(name)), read == name) << name;
            EXPECT_EQ(host_.CallTexts(), calls);
        }
    }
}

// The host's documents and lists live in the host: every one the binding is handed must be
// given back when the tool is done with it, or a night of listing and writing keeps them all.
TEST_F(ComBindingTest, EveryHostObjectIsReleasedAfterUse) {
    host_.AddDocument("M31");
    host_.AddDocument("M42");
    {
        auto camera = factory_.CreateCamera();
        camera->PutConnected(true);
        auto documents = factory_.CreateApplication()->GetDocuments();
        std::string name;
        documents->GetItemDisplayName(1, name);
        EXPECT_TRUE(documents->ItemHasDisplayName(2, DisplayName("M42")));
        documents->GetItem(2)->SetFITSKey("SET-TEMP", -20.5);
        EXPECT_GT(server_.LiveObjects(), 0);
    }
    EXPECT_EQ(server_.LiveObjects(), 0);
}

TEST_F(ComBindingTest, NoOpenDocumentsCountZero) {
    auto documents = factory_.CreateApplication()->GetDocuments();
    EXPECT_EQ(documents->GetCount(), 0);
}

TEST_F(ComBindingTest, EachApplicationIsNewWithANewList) {
    host_.AddDocument("M42");
    for (int round = 0; round < 2; ++round) {
        auto application = factory_.CreateApplication();
        auto documents = application->GetDocuments();
        EXPECT_EQ(documents->GetCount(), 1);
    }
    EXPECT_EQ(host_.CallTexts("create"), (std::vector<std::string>{"create Application", "create Application"}));
    EXPECT_EQ(host_.CallTexts("Application.Documents").size(), 2u);
}

struct FitsCase {
    const char* name;
    FitsValue value;
    const char* recorded;
};

TEST_F(ComBindingTest, SetFITSKeyWritesTheValueWithItsType) {
    const FitsCase cases[] = {
        {"Decimal", FitsValue{12.0}, "Document(2).SetFITSKey call Bstr \"EXPTIME\" R8 12"},
        {"Integer", FitsValue{int32_t{4}}, "Document(2).SetFITSKey call Bstr \"EXPTIME\" I4 4"},
        {"Text", FitsValue{std::string("M31")}, "Document(2).SetFITSKey call Bstr \"EXPTIME\" Bstr \"M31\""},
        {"EmptyText", FitsValue{std::string()}, "Document(2).SetFITSKey call Bstr \"EXPTIME\" Bstr \"\""},
    };
    host_.AddDocument("first");
    host_.AddDocument("second");
    for (const FitsCase& c : cases) {
        SCOPED_TRACE(c.name);
        host_.calls.clear();
        auto documents = factory_.CreateApplication()->GetDocuments();
        ASSERT_NO_THROW(documents->GetItem(2)->SetFITSKey("EXPTIME", c.value));
        EXPECT_EQ(host_.CallTexts("Document("), std::vector<std::string>{c.recorded});
        ASSERT_TRUE(host_.documents[1].header.Card("EXPTIME").has_value());
        sim::FitsHeader direct;
        direct.Set("EXPTIME", c.value);
        EXPECT_EQ(host_.documents[1].header.Card("EXPTIME"), direct.Card("EXPTIME"));
        EXPECT_FALSE(host_.documents[0].header.Card("EXPTIME").has_value());
    }
}

struct FaultCase {
    const char* name;
    const char* operation;
    int32_t number;
    const char* description;
    std::function<void(com::ComHostFactory&)> run;
};

// A failure the host raises arrives with the host's own number and description, whether it is
// an HRESULT or a plain error code.
TEST_F(ComBindingTest, HostFailuresKeepTheirNumberAndDescription) {
    host_.AddDocument("M31");
    const FaultCase cases[] = {
        {"Put", "Camera.Connected put", static_cast<int32_t>(0x80040401), "The camera is not responding",
         [](com::ComHostFactory& f) { f.CreateCamera()->PutConnected(true); }},
        {"PlainNumber", "Camera.CoolerEnabled put", 1001, "Cooler power supply failed",
         [](com::ComHostFactory& f) { f.CreateCamera()->PutCoolerEnabled(true); }},
        {"Get", "Camera.SensorTemperature get", static_cast<int32_t>(0x80040402), "Temperature sensor unavailable",
         [](com::ComHostFactory& f) { f.CreateCamera()->GetSensorTemperature(); }},
        {"Call", "Camera.SignalRun call", static_cast<int32_t>(0x80040403), "Sequence busy",
         [](com::ComHostFactory& f) { f.CreateCamera()->SignalRun(true); }},
        {"Count", "Documents.Count get", static_cast<int32_t>(0x80040404), "No documents: l'hôte est occupé",
         [](com::ComHostFactory& f) { f.CreateApplication()->GetDocuments()->GetCount(); }},
        {"DocumentByName", "Document(1).SetFITSKey", static_cast<int32_t>(0x80040405), "Header is read-only",
         [](com::ComHostFactory& f) { f.CreateApplication()->GetDocuments()->GetItem(1)->SetFITSKey("OBJECT", 1.5); }},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        host_.FailOn(c.operation, c.number, c.description);
        try {
            c.run(factory_);
            ADD_FAILURE() << "no HostError";
        } catch (const HostError& e) {
            EXPECT_EQ(e.Number(), c.number);
            EXPECT_EQ(e.Description(), c.description);
        }
        host_.faults.clear();
    }
}

TEST_F(ComBindingTest, HostRefusalsAreHostErrors) {
    host_.AddDocument("M31");
    auto documents = factory_.CreateApplication()->GetDocuments();
    try {
        documents->GetItem(2);
        ADD_FAILURE() << "no HostError";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Number(), static_cast<int32_t>(DISP_E_BADINDEX));
        EXPECT_EQ(e.Description(), "Invalid index");
    }
    auto document = documents->GetItem(1);
    host_.CloseDocument("M31");
    EXPECT_THROW(document->GetDisplayName(), HostError);
}

struct CreateFailureCase {
    const char* name;
    int32_t injected;
    HRESULT expected;
};

// A creation refused by the class factory comes back as a bare HRESULT: the number is the
// HRESULT and the description the system's text for it.
TEST_F(ComBindingTest, FailedCreationGivesTheSystemsText) {
    const CreateFailureCase cases[] = {
        {"HResult", static_cast<int32_t>(E_ACCESSDENIED), E_ACCESSDENIED},
        {"PlainNumber", 1001, E_FAIL},
    };
    for (const CreateFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        host_.FailOn("create Camera", c.injected, "not used");
        try {
            factory_.CreateCamera();
            ADD_FAILURE() << "no HostError";
        } catch (const HostError& e) {
            EXPECT_EQ(e.Number(), static_cast<int32_t>(c.expected));
            EXPECT_EQ(e.Description(), com::SystemMessage(c.expected));
            EXPECT_FALSE(e.Description().empty());
        }
    }
}

// A class that is not registered, by an identifier of this test's own: asking for the host's
// classes where the host is installed would start it.
TEST_F(ComBindingTest, UnregisteredClassGivesTheSystemsText) {
    constexpr CLSID kNowhere = {0x3DAC4948, 0xF7E0, 0x46BB, {0x87, 0xDA, 0x41, 0x3C, 0x35, 0x53, 0x88, 0xF9}};
    try {
        com::Dispatch::Create(kNowhere);
        ADD_FAILURE() << "no HostError";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Number(), static_cast<int32_t>(REGDB_E_CLASSNOTREG));
        EXPECT_EQ(e.Description(), com::HResultText(REGDB_E_CLASSNOTREG));
        EXPECT_NE(e.Description().find("not registered"), std::string::npos) << e.Description();
    }
}

// The count crosses as a Long; narrowing it is the caller's business and must not wrap.
TEST_F(ComBindingTest, CountAboveInt16PassesThroughAndNarrowingOverflows) {
    host_.countOverride = 40000;
    auto documents = factory_.CreateApplication()->GetDocuments();
    const int32_t count = documents->GetCount();
    EXPECT_EQ(count, 40000);
    try {
        NarrowToInt16(count);
        ADD_FAILURE() << "no overflow";
    } catch (const Failure& e) {
        EXPECT_EQ(e.Number(), kErrOverflow);
    }
}

// The shared table of unexpected answers, converted by VariantChangeType in the user's locale.
TEST_F(ComBindingTest, HostileAnswersConvertAsAnAutomationClientDoes) {
    for (const HostileAnswer& c : HostileAnswers()) {
        SCOPED_TRACE(c.answer.ToString());
        const char* expected = InGermanLocale() && c.german ? c.german : c.english;
        EXPECT_EQ(ReadHostileAnswer(factory_, host_, c), expected);
    }
}

}  // namespace
}  // namespace starwright
