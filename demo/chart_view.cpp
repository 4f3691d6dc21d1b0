#include "demo/chart_view.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/text_win.h"

namespace starwright::demo {

namespace {

struct GdiDeleter {
    void operator()(void* object) const noexcept { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using Pen = std::unique_ptr<std::remove_pointer_t<HPEN>, GdiDeleter>;

constexpr COLORREF kSensor = RGB(0, 90, 200);
constexpr COLORREF kSetpoint = RGB(210, 40, 40);
constexpr COLORREF kAmbient = RGB(230, 140, 0);
constexpr COLORREF kPower = RGB(120, 120, 120);
constexpr COLORREF kGrid = RGB(228, 228, 228);
constexpr COLORREF kMark = RGB(90, 0, 140);
constexpr COLORREF kText = RGB(40, 40, 40);

// Selects a GDI object for the life of the scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(dc_, previous_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

Pen MakePen(int style, double width, COLORREF color) {
    // Geometric pens draw dashes at any width; cosmetic ones only at width 1.
    LOGBRUSH brush{BS_SOLID, color, 0};
    const int w = std::max(1, static_cast<int>(std::lround(width)));
    return Pen(ExtCreatePen(PS_GEOMETRIC | style | PS_ENDCAP_FLAT | PS_JOIN_ROUND, w, &brush, 0, nullptr));
}

SIZE TextSize(HDC dc, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

void Text(HDC dc, int x, int y, const std::wstring& text, COLORREF color = kText) {
    SetTextColor(dc, color);
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// The plot's frame; values map a little inside it, so that a line at an axis' end (full
// power, the warmest reading) stays clear of the frame.
struct Plot {
    RECT box;
    Axis time, temperature, power;
    int inset;
    int X(double minutes) const { return static_cast<int>(std::lround(time.Map(minutes, box.left, box.right))); }
    int Y(double degrees) const {
        return static_cast<int>(std::lround(temperature.Map(degrees, box.bottom - inset, box.top + inset)));
    }
    int PowerY(double percent) const {
        return static_cast<int>(std::lround(power.Map(percent, box.bottom - inset, box.top + inset)));
    }
};

// Where each event's label goes: right of its line unless that leaves the plot, and a row
// further up when it would overlap the label before it.
struct PlacedMark {
    int x, left, row;
    std::wstring label;
};

std::vector<PlacedMark> PlaceMarks(HDC dc, const RECT& box, const Axis& time, const std::vector<ChartMark>& marks, int pad) {
    std::vector<PlacedMark> placed;
    std::vector<int> rowEnds;  // the right end of the last label in each row
    for (const ChartMark& mark : marks) {
        const int x = static_cast<int>(std::lround(time.Map(mark.minutes, box.left, box.right)));
        std::wstring label = ToWide(mark.label);
        const int width = TextSize(dc, label).cx;
        const int left = x + pad + width <= box.right ? x + pad : x - pad - width;
        size_t row = 0;
        while (row < rowEnds.size() && rowEnds[row] > left - pad) ++row;
        if (row == rowEnds.size()) rowEnds.push_back(0);
        rowEnds[row] = left + width;
        placed.push_back({x, left, static_cast<int>(row), std::move(label)});
    }
    return placed;
}

// A series as polylines (one pen stroke each, so that dashes run on across samples); a NaN
// value breaks the line. `step` draws a value held until the next sample (a set-point), not a
// slope. Points that only continue a level are left out.
template <typename Value, typename ToY>
void Series(HDC dc, const Plot& plot, const std::vector<ChartSample>& samples, Value value, ToY toY, bool step) {
    std::vector<POINT> run;
    auto add = [&](int x, int y) {
        const size_t n = run.size();
        if (n >= 2 && run[n - 1].y == y && run[n - 2].y == y) run[n - 1].x = x;
        else if (n == 0 || run[n - 1].x != x || run[n - 1].y != y) run.push_back({x, y});
    };
    auto flush = [&] {
        if (run.size() >= 2) Polyline(dc, run.data(), static_cast<int>(run.size()));
        run.clear();
    };
    for (const ChartSample& s : samples) {
        const double v = value(s);
        if (!std::isfinite(v)) {
            flush();
            continue;
        }
        const int x = plot.X(s.minutes), y = toY(v);
        if (step && !run.empty()) add(x, run.back().y);
        add(x, y);
    }
    flush();
}

void Axes(HDC dc, const Plot& plot, double scale) {
    const Pen grid = MakePen(PS_SOLID, 1, kGrid);
    Selected pen(dc, grid.get());
    SetBkMode(dc, TRANSPARENT);
    const int gap = static_cast<int>(4 * scale);
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    for (double t : plot.temperature.Ticks()) {
        const int y = plot.Y(t);
        MoveToEx(dc, plot.box.left, y, nullptr);
        LineTo(dc, plot.box.right, y);
        const std::wstring label = ToWide(plot.temperature.Label(t));
        Text(dc, plot.box.left - gap - TextSize(dc, label).cx, y - metrics.tmHeight / 2, label);
    }
    for (double p : plot.power.Ticks()) {
        const std::wstring label = ToWide(plot.power.Label(p));
        Text(dc, plot.box.right + gap, plot.PowerY(p) - metrics.tmHeight / 2, label, kPower);
    }
    for (double m : plot.time.Ticks()) {
        const int x = plot.X(m);
        MoveToEx(dc, x, plot.box.top, nullptr);
        LineTo(dc, x, plot.box.bottom);
        const std::wstring label = ToWide(plot.time.Label(m));
        Text(dc, x - TextSize(dc, label).cx / 2, plot.box.bottom + gap, label);
    }
    const Pen frame = MakePen(PS_SOLID, 1, RGB(160, 160, 160));
    Selected framePen(dc, frame.get());
    Selected noFill(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, plot.box.left, plot.box.top, plot.box.right + 1, plot.box.bottom + 1);

    const std::wstring unitLeft = L"\u00B0C", unitRight = L"%";
    const std::wstring timeTitle = L"minutes since the camera was linked";
    Text(dc, plot.box.left - gap - TextSize(dc, unitLeft).cx, plot.box.top - metrics.tmHeight - gap, unitLeft);
    Text(dc, plot.box.right + gap, plot.box.top - metrics.tmHeight - gap, unitRight, kPower);
    Text(dc, (plot.box.left + plot.box.right - TextSize(dc, timeTitle).cx) / 2,
         plot.box.bottom + gap + metrics.tmHeight + gap / 2, timeTitle);
}

// The events as dashed vertical lines through the plot, their labels in rows above it.
void Marks(HDC dc, const Plot& plot, const std::vector<PlacedMark>& marks, int rows, double scale) {
    const Pen dashed = MakePen(PS_DASH, scale, kMark);
    Selected pen(dc, dashed.get());
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    for (const PlacedMark& mark : marks) {
        const int top = plot.box.top - (rows - mark.row) * metrics.tmHeight;
        MoveToEx(dc, mark.x, top, nullptr);
        LineTo(dc, mark.x, plot.box.bottom);
        Text(dc, mark.left, top, mark.label, kMark);
    }
}

void Legend(HDC dc, const RECT& area, const CoolerChart& chart, double scale) {
    const ChartSample* last = chart.Samples().empty() ? nullptr : &chart.Samples().back();
    auto value = [&](double v, const char* unit) {
        if (!last || !std::isfinite(v)) return std::wstring(L" \u2013");
        return L" " + ToWide(Signed(v, 1)) + L" " + ToWide(unit);
    };
    struct Entry {
        const wchar_t* name;
        std::wstring reading;
        COLORREF color;
        int style;
    };
    const Entry entries[] = {
        {L"Sensor", value(last ? last->sensor : NAN, "\u00B0C"), kSensor, PS_SOLID},
        {L"Set-point", value(last ? last->setpoint : NAN, "\u00B0C"), kSetpoint, PS_DASH},
        {L"Ambient", value(last ? last->ambient : NAN, "\u00B0C"), kAmbient, PS_DOT},
        {L"Cooler power", value(last ? last->power : NAN, "%"), kPower, PS_SOLID},
    };
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    int x = area.left;
    const int y = area.top;
    const int swatch = static_cast<int>(22 * scale);
    for (const Entry& e : entries) {
        const Pen pen = MakePen(e.style, 2 * scale, e.color);
        {
            Selected selected(dc, pen.get());
            MoveToEx(dc, x, y + metrics.tmHeight / 2, nullptr);
            LineTo(dc, x + swatch, y + metrics.tmHeight / 2);
        }
        x += swatch + static_cast<int>(5 * scale);
        const std::wstring text = std::wstring(e.name) + e.reading;
        Text(dc, x, y, text);
        x += TextSize(dc, text).cx + static_cast<int>(18 * scale);
    }
}

}  // namespace

void DrawChart(HDC dc, const RECT& area, const CoolerChart& chart, HFONT font, double scale) {
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Selected selectedFont(dc, font);
    SetBkMode(dc, TRANSPARENT);
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    const int line = metrics.tmHeight;
    const int margin = static_cast<int>(10 * scale);

    Legend(dc, RECT{area.left + margin, area.top + margin / 2, area.right, area.top + margin / 2 + line}, chart, scale);
    Plot plot{{area.left + margin + 4 * metrics.tmAveCharWidth + margin, 0,
               area.right - margin - 4 * metrics.tmAveCharWidth - margin, area.bottom - margin / 2 - 2 * line - margin},
              chart.TimeAxis(), chart.TemperatureAxis(), chart.PowerAxis(), static_cast<int>(6 * scale)};
    const std::vector<PlacedMark> marks = PlaceMarks(dc, plot.box, plot.time, chart.Marks(), static_cast<int>(3 * scale));
    int rows = 1;
    for (const PlacedMark& mark : marks) rows = std::max(rows, mark.row + 1);
    plot.box.top = area.top + margin / 2 + line + margin + rows * line;
    if (plot.box.right - plot.box.left < 40 || plot.box.bottom - plot.box.top < 40) return;
    Axes(dc, plot, scale);
    if (!chart.Started()) {
        const std::wstring waiting = L"The chart starts when the camera is linked: Plug-ins menu, Handy Start, Start Now.";
        Text(dc, (plot.box.left + plot.box.right - TextSize(dc, waiting).cx) / 2, (plot.box.top + plot.box.bottom) / 2 - line / 2,
             waiting);
        return;
    }
    const HRGN clip = CreateRectRgn(plot.box.left, plot.box.top, plot.box.right + 1, plot.box.bottom + 1);
    SelectClipRgn(dc, clip);
    const auto& samples = chart.Samples();
    auto degrees = [&](double v) { return plot.Y(v); };
    auto percent = [&](double v) { return plot.PowerY(v); };
    {
        const Pen pen = MakePen(PS_SOLID, 1.5 * scale, kPower);
        Selected selected(dc, pen.get());
        Series(dc, plot, samples, [](const ChartSample& s) { return s.power; }, percent, false);
    }
    {
        const Pen pen = MakePen(PS_DOT, 2 * scale, kAmbient);
        Selected selected(dc, pen.get());
        Series(dc, plot, samples, [](const ChartSample& s) { return s.ambient; }, degrees, true);
    }
    {
        const Pen pen = MakePen(PS_DASH, 2 * scale, kSetpoint);
        Selected selected(dc, pen.get());
        Series(dc, plot, samples, [](const ChartSample& s) { return s.setpoint; }, degrees, true);
    }
    {
        const Pen pen = MakePen(PS_SOLID, 2.5 * scale, kSensor);
        Selected selected(dc, pen.get());
        Series(dc, plot, samples, [](const ChartSample& s) { return s.sensor; }, degrees, false);
    }
    SelectClipRgn(dc, nullptr);
    DeleteObject(clip);
    Marks(dc, plot, marks, rows, scale);
}

}  // namespace starwright::demo
