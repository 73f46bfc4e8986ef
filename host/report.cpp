#include "host/report.h"

#include <cmath>
#include <cstdio>

namespace qelhost {

namespace {

constexpr int32 kReadOnly = 1 << 1; // the plug-in writes the value: a reading

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string jsonNumber(std::optional<double> v)
{
    return v && std::isfinite(*v) ? formatNumber(*v) : "null";
}

const ParamValue* byTitle(const MeterReport& r, const std::string& title)
{
    for (const ParamValue& p : r.params)
        if (p.title == title)
            return &p;
    return nullptr;
}

// "hh:mm:ss" as seconds.
std::optional<double> clockSeconds(const std::string& text)
{
    unsigned h = 0, m = 0, s = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u:%u:%u%c", &h, &m, &s, &tail) != 3)
        return std::nullopt;
    return h * 3600.0 + m * 60.0 + s;
}

} // namespace

namespace {

// The unit a value is reported in; loudness in `loudness`.
std::string unitOf(const ParamValue& p, const std::string& loudness)
{
    if (p.title == "Momentary" || p.title == "ShortTerm" || p.title == "Integrated" || p.title == "MomentMax" ||
        p.title == "ShortTermMax")
        return loudness;
    if (p.title == "TruePeak")
        return "dBTP";
    if (p.title == "Time")
        return "s";
    return p.units == "On/Off" ? std::string() : p.units;
}

} // namespace

std::vector<ReportedValue> reportedValues(const MeterReport& r)
{
    // Loudness reads in LUFS, or in LU relative to the target when the display scale says so.
    std::string loudness = "LUFS";
    if (const ParamValue* scale = byTitle(r, "ScaleLU"); scale && scale->text == "LU")
        loudness = "LU";
    std::vector<ReportedValue> out;
    for (const ParamValue& p : r.params) {
        ReportedValue v;
        v.param = &p;
        v.reading = (p.flags & kReadOnly) != 0;
        v.value = p.plain;
        v.text = p.text;
        v.unit = unitOf(p, loudness);
        if (p.title == "Time") {
            // The plug-in sends its clock once a second has passed: until then, none has.
            if (v.text.empty())
                v.text = "00:00:00";
            v.value = clockSeconds(v.text);
        }
        if (v.reading && (v.text == "--" || v.text.empty()))
            v.value.reset();
        out.push_back(std::move(v));
    }
    return out;
}

std::string formatText(const MeterReport& r)
{
    std::string out = r.file + ": " + formatNumber(r.sampleRate) + " Hz, " + std::to_string(r.channels) + " channel" +
                      (r.channels == 1 ? "" : "s") + ", " + formatFixed(r.seconds, 2) + " s\n";
    const auto values = reportedValues(r);
    auto lines = [&out, &values](bool readings) {
        for (const ReportedValue& v : values) {
            if (v.reading != readings)
                continue;
            std::string shown = v.text;
            // The display's text with the unit; the elapsed time as the clock shows it.
            if (v.value && !v.unit.empty() && v.unit != "s")
                shown += " " + v.unit;
            char line[512];
            std::snprintf(line, sizeof(line), "  %-18s %s\n", v.param->title.c_str(), shown.c_str());
            out += line;
        }
    };
    lines(true);
    out += "  controls:\n";
    lines(false);
    return out;
}

std::string formatJson(const MeterReport& r)
{
    std::string out = "{";
    out += "\"file\": " + jsonString(r.file);
    out += ", \"sample_rate\": " + jsonNumber(r.sampleRate);
    out += ", \"channels\": " + std::to_string(r.channels);
    out += ", \"seconds\": " + jsonNumber(r.seconds);
    out += ", \"params\": {";
    bool first = true;
    for (const ReportedValue& v : reportedValues(r)) {
        if (!first)
            out += ", ";
        first = false;
        const ParamValue& p = *v.param;
        out += jsonString(p.title) + ": {\"id\": " + std::to_string(p.id);
        out += ", \"normalized\": " + jsonNumber(p.normalized);
        out += ", \"plain\": " + jsonNumber(v.value);
        out += ", \"unit\": " + jsonString(v.unit);
        out += ", \"text\": " + jsonString(v.text) + "}";
    }
    out += "}}\n";
    return out;
}

} // namespace qelhost
