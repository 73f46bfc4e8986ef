#include "host/report.h"

#include <cmath>
#include <cstdio>

namespace qelhost {

namespace {

constexpr int32 kReadOnly = 1 << 1; // the plug-in writes the value: a reading

// The length of the well-formed UTF-8 character at `at`; where there is none, minus the length of
// the longest start of one there (at least a byte), which one U+FFFD replaces.
int utf8Character(std::string_view s, std::size_t at)
{
    const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    int length = 0;
    // The second byte's range keeps out overlong forms, surrogates and characters beyond U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        const std::size_t next = at + static_cast<std::size_t>(i);
        if (next >= s.size() || byte(next) < (i == 1 ? low : 0x80) || byte(next) > (i == 1 ? high : 0xBF))
            return -i;
    }
    return length;
}

// The letter of a control character's short escape (\n, \r, \t), or 0 where it has none.
char shortEscape(unsigned char c)
{
    return c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\t' ? 't' : 0;
}

constexpr char kHexDigits[] = "0123456789abcdef";

void appendHex(std::string& out, unsigned char c)
{
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 15];
}

// Whether the character at `at`, `length` bytes long, is a control character: C0, DEL or C1
// (U+0080 to U+009F, lead byte 0xC2). A terminal may act on each.
bool isControl(std::string_view s, std::size_t at, int length)
{
    const auto lead = static_cast<unsigned char>(s[at]);
    return length == 1 ? lead < 0x20 || lead == 0x7F
                       : length == 2 && lead == 0xC2 && static_cast<unsigned char>(s[at + 1]) < 0xA0;
}

// A JSON string of any bytes: control characters escaped, bytes that are not UTF-8 as U+FFFD.
std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (std::size_t at = 0; at < s.size();) {
        const int length = utf8Character(s, at);
        if (length < 0) {
            out += "\xEF\xBF\xBD";
            at += static_cast<std::size_t>(-length);
            continue;
        }
        if (isControl(s, at, length)) {
            // The code point: the byte itself, or for C1 the second byte of its two.
            const auto code = static_cast<unsigned char>(s[at + static_cast<std::size_t>(length) - 1]);
            if (const char letter = shortEscape(code)) {
                out += '\\';
                out += letter;
            } else {
                out += "\\u00";
                appendHex(out, code);
            }
        } else if (s[at] == '"' || s[at] == '\\') {
            out += '\\';
            out += s[at];
        } else {
            out.append(s, at, static_cast<std::size_t>(length));
        }
        at += static_cast<std::size_t>(length);
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

void putTerminalText(std::string_view s, const std::function<void(std::string_view)>& put)
{
    char piece[256];
    std::size_t filled = 0;
    const auto add = [&](char c) {
        if (filled == sizeof piece) {
            put(std::string_view(piece, filled));
            filled = 0;
        }
        piece[filled++] = c;
    };
    for (std::size_t at = 0; at < s.size();) {
        const int length = utf8Character(s, at);
        const auto size = static_cast<std::size_t>(length < 0 ? -length : length);
        const unsigned char lead = static_cast<unsigned char>(s[at]);
        if (length > 0 && !isControl(s, at, length)) {
            for (std::size_t i = 0; i < size; ++i)
                add(s[at + i]);
        } else if (const char letter = length == 1 ? shortEscape(lead) : 0) {
            add('\\');
            add(letter);
        } else {
            for (std::size_t i = 0; i < size; ++i) {
                const auto c = static_cast<unsigned char>(s[at + i]);
                add('\\');
                add('x');
                add(kHexDigits[c >> 4]);
                add(kHexDigits[c & 15]);
            }
        }
        at += size;
    }
    if (filled > 0)
        put(std::string_view(piece, filled));
}

std::string terminalText(const std::string& s)
{
    std::string out;
    putTerminalText(s, [&out](std::string_view piece) { out.append(piece); });
    return out;
}

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
    std::string out = terminalText(r.file) + ": " + formatNumber(r.sampleRate) + " Hz, " + std::to_string(r.channels) +
                      " channel" + (r.channels == 1 ? "" : "s") + ", " + formatFixed(r.seconds, 2) + " s\n";
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
