// The stand-in host's cooler chart: the events it reads from the plug-in's calls, the samples
// it keeps, and axes that enclose the data in round steps.

#include <gtest/gtest.h>

#include <cmath>

#include "demo/cooler_chart.h"

namespace starwright::demo {
namespace {

using sim::CallKind;
using sim::CallRecord;
using sim::Value;

CallRecord Answered(const char* member, CallKind kind, std::vector<Value> args, double seconds, Value answer = {}) {
    CallRecord call{"Camera", member, kind, std::move(args), seconds};
    call.answer = answer;
    return call;
}

TEST(CoolerChart, MarksTheRunFromThePlugInsCalls) {
    CoolerChart chart;
    sim::SimCameraState camera;
    chart.Sample(5, camera);
    EXPECT_FALSE(chart.Started()) << "nothing before the link";

    CallRecord refused = Answered("Setpoint", CallKind::Put, {Value::I2(-50)}, 50);
    refused.answer.reset();
    refused.failure = HostError(-1, "not connected");
    for (const CallRecord& call : {
             Answered("Connected", CallKind::Put, {Value::Bool(true)}, 59),
             refused,                                                         // failed: no mark
             Answered("Connected", CallKind::Get, {}, 60, Value::Bool(true)),  // the link: 0 min
             Answered("Setpoint", CallKind::Put, {Value::I2(-50)}, 61),
             Answered("Setpoint", CallKind::Put, {Value::R8(-8.9)}, 660),     // warmer: back-off
             Answered("SignalRun", CallKind::Call, {Value::Bool(true)}, 780),  // after a back-off
             Answered("Connected", CallKind::Get, {}, 800, Value::Bool(true)),  // still linked
             Answered("SignalRun", CallKind::Call, {Value::Bool(false)}, 801),
             Answered("Setpoint", CallKind::Put, {Value::I2(-50)}, 802),
             Answered("SignalRun", CallKind::Call, {Value::Bool(true)}, 840),  // stopped early
         })
        chart.Observe(call);

    struct Expected {
        double minutes;
        MarkKind kind;
        const char* label;
    };
    const Expected expected[] = {
        {0, MarkKind::Linked, "Linked"},
        {1.0 / 60, MarkKind::Setpoint, "Set-point \u221250 \u00B0C"},
        {10, MarkKind::BackOff, "Back-off to \u22128.9 \u00B0C"},
        {12, MarkKind::Done, "Done"},
        {742.0 / 60, MarkKind::Setpoint, "Set-point \u221250 \u00B0C"},
        {13, MarkKind::End, "End"},
    };
    ASSERT_EQ(chart.Marks().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(chart.Marks()[i].minutes, expected[i].minutes, 1e-9);
        EXPECT_EQ(chart.Marks()[i].kind, expected[i].kind);
        EXPECT_EQ(chart.Marks()[i].label, expected[i].label);
    }
}

TEST(CoolerChart, SamplesTheCameraFromTheLink) {
    CoolerChart chart;
    chart.Observe(Answered("Connected", CallKind::Get, {}, 100, Value::Bool(true)));
    sim::SimCameraState camera;
    camera.cooler.ambient = 18;
    camera.temperature = 18;
    chart.Sample(100, camera);
    camera.coolerOn = true;
    camera.setpoint = -50;
    camera.coolerPower = 1;
    camera.temperature = 10;
    chart.Sample(130, camera);
    chart.Sample(130, camera);  // the same moment again replaces, never duplicates

    ASSERT_EQ(chart.Samples().size(), 2u);
    EXPECT_TRUE(std::isnan(chart.Samples()[0].setpoint)) << "no set-point while the cooler is off";
    EXPECT_EQ(chart.Samples()[0].power, 0);
    const ChartSample& cooling = chart.Samples()[1];
    EXPECT_EQ(cooling.minutes, 0.5);
    EXPECT_EQ(cooling.setpoint, -50);
    EXPECT_EQ(cooling.power, 100);
    EXPECT_EQ(cooling.sensor, 10);

    for (int second = 131; chart.Samples().size() < CoolerChart::kMaxSamples; ++second) chart.Sample(second, camera);
    chart.Sample(100000, camera);
    EXPECT_LE(chart.Samples().size(), CoolerChart::kMaxSamples / 2 + 1) << "a long night is thinned";
    EXPECT_EQ(chart.Samples().front().minutes, 0);
    EXPECT_NEAR(chart.Samples().back().minutes, (100000 - 100) / 60.0, 1e-9) << "the latest reading stays";
}

TEST(CoolerChart, AxesEncloseTheDataInRoundSteps) {
    struct Case {
        double low, high;
        int ticks;
        Axis expected;
    };
    const Case cases[] = {
        {-50, 18, 6, {-60, 20, 20}},
        {-12.4, -8.9, 6, {-13, -8, 1}},
        {0, 12.5, 8, {0, 14, 2}},
        {0, 0.3, 6, {0, 0.3, 0.05}},
        {5, 5, 6, {4, 6, 0.5}},       // a flat line gets a degree either side
        {0, 100, 4, {0, 100, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.low) + " .. " + std::to_string(c.high));
        const Axis axis = NiceAxis(c.low, c.high, c.ticks);
        EXPECT_NEAR(axis.min, c.expected.min, 1e-9);
        EXPECT_NEAR(axis.max, c.expected.max, 1e-9);
        EXPECT_NEAR(axis.step, c.expected.step, 1e-9);
        EXPECT_NEAR(axis.Map(c.low, 0, 100), 100 * (c.low - axis.min) / (axis.max - axis.min), 1e-9);
    }
    const Axis temperature{-60, 20, 20};
    EXPECT_EQ(temperature.Ticks(), (std::vector<double>{-60, -40, -20, 0, 20}));
    EXPECT_EQ(temperature.Label(-40), "\u221240");
    EXPECT_EQ((Axis{0, 1, 0.25}.Label(0.25)), "0.25") << "as many decimals as the step has";
    EXPECT_EQ((Axis{-1, 1, 0.5}.Label(-0.0)), "0.0") << "no minus on zero";
    EXPECT_EQ(temperature.Map(-60, 300, 0), 300) << "the minimum at the bottom";
}

}  // namespace
}  // namespace starwright::demo
