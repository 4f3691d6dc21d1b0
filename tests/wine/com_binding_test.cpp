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
#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"

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

}  // namespace
}  // namespace starwright
