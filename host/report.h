// The report of one metered source: the readings with their units apart from the controls, as
// text for people and as one JSON object per line for programs. Numbers are written the same
// whatever the process's locale.
#pragma once

#include "host/numbertext.h"
#include "host/session.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelhost {

struct MeterReport
{
    std::string file;
    double sampleRate = 0.0;
    int channels = 0;
    double seconds = 0.0;
    std::vector<ParamValue> params;
};

// One parameter as reported: a reading (the plug-in writes it) or a control, its value in `unit`,
// and no value where the meter shows none ("--").
struct ReportedValue
{
    const ParamValue* param = nullptr;
    bool reading = false;
    std::optional<double> value;
    std::string unit;
    std::string text; // as the display shows it
};
std::vector<ReportedValue> reportedValues(const MeterReport& r);

std::string formatText(const MeterReport& r); // the file's name as terminalText
std::string formatJson(const MeterReport& r); // one line

// Text of any bytes as a terminal should get it, on one line: control characters (C0, DEL and C1)
// written as \n, \r, \t or \xNN, each byte that is not part of a UTF-8 character as \xNN, the
// rest unchanged.
std::string terminalText(const std::string& s);
// The same through `put`, in pieces, allocating nothing: for what must be said when memory is short.
void putTerminalText(std::string_view s, const std::function<void(std::string_view)>& put);

} // namespace qelhost
