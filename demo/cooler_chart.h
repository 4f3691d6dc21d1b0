#pragma once
// What the stand-in host's cooler chart shows, as plain data: the camera's temperatures and
// cooler power against minutes since the camera was linked, the events of the run read from
// the host's call log, and the axes that fit them. The window only draws it.

#include <optional>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"

namespace starwright::demo {

// One reading of the camera, in degrees C and percent of full cooler power.
struct ChartSample {
    double minutes;   // since the camera was linked
    double sensor;
    double setpoint;  // NaN while the cooler is off: there is no set-point to hold then
    double ambient;
    double power;
};

enum class MarkKind { Linked, Setpoint, BackOff, Done, End };

// An event of the run on the time axis, with the text shown at it.
struct ChartMark {
    double minutes;
    MarkKind kind;
    std::string label;
};

// A value axis with round steps: min and max are multiples of step and enclose the data.
struct Axis {
    double min = 0;
    double max = 1;
    double step = 1;

    std::vector<double> Ticks() const;
    // The value's position between `from` (at min) and `to` (at max), e.g. pixels.
    double Map(double value, double from, double to) const;
    // A tick's text, with as many decimals as the step needs.
    std::string Label(double value) const;
};

// The axis with about `maxTicks` steps of 1, 2, 2.5 or 5 times a power of ten over [low, high].
Axis NiceAxis(double low, double high, int maxTicks);

class CoolerChart {
public:
    // Reads the events of the run from one call the plug-in made. Calls are fed in order.
    void Observe(const sim::CallRecord& call);
    // Records the camera as it is at `seconds` on the host's clock. Nothing is recorded before
    // the camera has been linked, which starts the time axis.
    void Sample(double seconds, const sim::SimCameraState& camera);

    bool Started() const { return origin_.has_value(); }
    const std::vector<ChartSample>& Samples() const { return samples_; }
    const std::vector<ChartMark>& Marks() const { return marks_; }

    // Minutes from 0 to at least two, covering every sample and mark.
    Axis TimeAxis() const;
    // Degrees C covering every temperature shown.
    Axis TemperatureAxis() const;
    // Cooler power, 0 to 100 %.
    Axis PowerAxis() const { return {0, 100, 25}; }

    // The most samples kept; beyond it every second one is dropped, so a long night stays
    // a curve of the same shape at lower resolution.
    static constexpr size_t kMaxSamples = 4000;

private:
    double Minutes(double seconds) const { return (seconds - *origin_) / 60.0; }
    void Mark(double seconds, MarkKind kind, std::string label);

    std::optional<double> origin_;
    bool linked_ = false;
    std::optional<double> lastSetpoint_;
    bool backedOff_ = false;
    std::vector<ChartSample> samples_;
    std::vector<ChartMark> marks_;
};

// Numbers as the host window shows them, with a true minus sign: "−8.9", "18.0" with
// one decimal; a set-point with what decimals it has ("−50", "−13.35").
std::string Signed(double value, int decimals);
std::string Degrees(double value);
std::string SetpointText(double value);

}  // namespace starwright::demo
