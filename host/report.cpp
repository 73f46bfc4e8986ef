#include "host/session.h"

#include <cmath>
#include <cstdio>

namespace qelhost {

namespace {

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
                char buf[8];
                std::snprintf(buf, sizeof(buf), "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string jsonNumber(double v)
{
    if (!std::isfinite(v))
        return "null";
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.10g", v);
    return buf;
}

} // namespace

std::string formatText(const MeterReport& r)
{
    std::string out;
    char line[512];
    std::snprintf(line, sizeof(line), "%s: %.0f Hz, %d channel%s, %.2f s\n", r.file.c_str(), r.sampleRate, r.channels,
                  r.channels == 1 ? "" : "s", r.seconds);
    out += line;
    for (const ParamValue& p : r.params) {
        std::string shown = p.text;
        if (!p.units.empty())
            shown += " " + p.units;
        std::snprintf(line, sizeof(line), "  %-18s %12.4f   %s\n", p.title.c_str(), p.plain, shown.c_str());
        out += line;
    }
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
    for (const ParamValue& p : r.params) {
        if (!first)
            out += ", ";
        first = false;
        out += jsonString(p.title) + ": {\"id\": " + std::to_string(p.id);
        out += ", \"normalized\": " + jsonNumber(p.normalized);
        out += ", \"plain\": " + jsonNumber(p.plain);
        out += ", \"text\": " + jsonString(p.text) + "}";
    }
    out += "}}\n";
    return out;
}

} // namespace qelhost
