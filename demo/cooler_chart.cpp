#include "demo/cooler_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace starwright::demo {

namespace {

bool Succeeded(const sim::CallRecord& call) { return call.answer.has_value(); }

bool IsCamera(const sim::CallRecord& call, const char* member, sim::CallKind kind) {
    return call.object == "Camera" && call.member == member && call.kind == kind;
}

}  // namespace

// With a true minus sign, and none on a value that rounds to zero.
std::string Signed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, std::fabs(value));
    const bool zero = std::strspn(text, "0.") == std::strlen(text);
    return (value < 0 && !zero ? "\u2212" : "") + std::string(text);
}

std::string Degrees(double value) { return Signed(value, 1); }

std::string SetpointText(double value) {
    std::string text = Signed(value, 2);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

std::vector<double> Axis::Ticks() const {
    std::vector<double> ticks;
    const int count = static_cast<int>(std::lround((max - min) / step));
    for (int i = 0; i <= count; ++i) ticks.push_back(min + i * step);
    return ticks;
}

double Axis::Map(double value, double from, double to) const {
    return from + (value - min) / (max - min) * (to - from);
}

std::string Axis::Label(double value) const {
    int decimals = 0;
    while (decimals < 3 && std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    return Signed(value, decimals);
}

Axis NiceAxis(double low, double high, int maxTicks) {
    if (!std::isfinite(low) || !std::isfinite(high)) return {};
    if (high < low) std::swap(low, high);
    if (high - low < 1e-9) {
        low -= 1;
        high += 1;
    }
    const double rough = (high - low) / std::max(1, maxTicks);
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * magnitude;
    for (double factor : {1.0, 2.0, 2.5, 5.0}) {
        if (factor * magnitude >= rough) {
            step = factor * magnitude;
            break;
        }
    }
    return {std::floor(low / step + 1e-9) * step, std::ceil(high / step - 1e-9) * step, step};
}

void CoolerChart::Mark(double seconds, MarkKind kind, std::string label) {
    if (!origin_) return;
    marks_.push_back({Minutes(seconds), kind, std::move(label)});
}

void CoolerChart::Observe(const sim::CallRecord& call) {
    if (!Succeeded(call)) return;
    if (IsCamera(call, "Connected", sim::CallKind::Get)) {
        const bool connected = call.answer->IsTrue();
        if (connected && !linked_) {
            if (!origin_) origin_ = call.seconds;
            Mark(call.seconds, MarkKind::Linked, "Linked");
        }
        linked_ = connected;
    } else if (IsCamera(call, "Connected", sim::CallKind::Put)) {
        if (!call.args.empty() && !call.args[0].IsTrue()) linked_ = false;
    } else if (IsCamera(call, "Setpoint", sim::CallKind::Put) && !call.args.empty()) {
        const double setpoint = call.args[0].number;
        // A set-point warmer than the one before is the back-off that ends the cold phase.
        const bool backOff = lastSetpoint_ && setpoint > *lastSetpoint_;
        Mark(call.seconds, backOff ? MarkKind::BackOff : MarkKind::Setpoint,
             (backOff ? "Back-off to " : "Set-point ") + SetpointText(setpoint) + " \u00B0C");
        backedOff_ = backOff;
        lastSetpoint_ = setpoint;
    } else if (IsCamera(call, "SignalRun", sim::CallKind::Call) && !call.args.empty() && call.args[0].IsTrue()) {
        // The plug-in signals the end of its run both when it completes and when it stops early;
        // only a completed run has backed off.
        Mark(call.seconds, backedOff_ ? MarkKind::Done : MarkKind::End, backedOff_ ? "Done" : "End");
        backedOff_ = false;
        lastSetpoint_.reset();
    }
}

void CoolerChart::Sample(double seconds, const sim::SimCameraState& camera) {
    if (!origin_) return;
    const ChartSample sample{Minutes(seconds), camera.temperature,
                             camera.coolerOn ? camera.setpoint : std::nan(""), camera.cooler.ambient,
                             camera.coolerOn ? camera.coolerPower * 100.0 : 0.0};
    if (!samples_.empty() && samples_.back().minutes >= sample.minutes) {
        samples_.back() = sample;
        return;
    }
    samples_.push_back(sample);
    if (samples_.size() <= kMaxSamples) return;
    std::vector<ChartSample> thinned;
    thinned.reserve(kMaxSamples / 2 + 1);
    for (size_t i = 0; i < samples_.size(); i += 2) thinned.push_back(samples_[i]);
    if (thinned.back().minutes != samples_.back().minutes) thinned.push_back(samples_.back());
    samples_ = std::move(thinned);
}

Axis CoolerChart::TimeAxis() const {
    double end = 2;
    if (!samples_.empty()) end = std::max(end, samples_.back().minutes);
    for (const ChartMark& mark : marks_) end = std::max(end, mark.minutes);
    return NiceAxis(0, end, 8);
}

Axis CoolerChart::TemperatureAxis() const {
    double low = INFINITY, high = -INFINITY;
    auto cover = [&](double value) {
        if (!std::isfinite(value)) return;
        low = std::min(low, value);
        high = std::max(high, value);
    };
    for (const ChartSample& s : samples_) {
        cover(s.sensor);
        cover(s.setpoint);
        cover(s.ambient);
    }
    if (low > high) return NiceAxis(-10, 20, 6);
    return NiceAxis(low, high, 6);
}

}  // namespace starwright::demo
