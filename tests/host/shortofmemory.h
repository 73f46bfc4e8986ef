// What a `meter` run short of memory may give: for each file either the report and picture of a
// run with memory to spare, byte for byte, or a message naming the file and status 2; never
// another reading, a crash, a hang, or a file left behind.
#pragma once

#include <cstddef>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace shortofmemory {

// How a run of `meter --json [--svg DIR/out.svg] FILE...` ended.
struct MeterOutcome
{
    int status = -1;   // exit status; -1 when it did not exit
    std::string ended; // how it ended otherwise: a signal, or a hang
    std::string out, err;
    std::map<std::string, std::string> pictures; // every file in the picture's folder: name, content
};

// The report line of each file in a JSON run, by file.
inline std::map<std::string, std::string> linesByFile(const std::string& out, const std::vector<std::string>& files)
{
    std::map<std::string, std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        for (const std::string& f : files)
            if (line.find("\"file\": \"" + f + "\"") != std::string::npos ||
                line.find("\"file\":\"" + f + "\"") != std::string::npos)
                lines[f] = line;
    return lines;
}

// What is wrong with `got` against `want`, the run with memory to spare; empty when nothing.
inline std::string judge(const MeterOutcome& got, const MeterOutcome& want, const std::vector<std::string>& files)
{
    if (!got.ended.empty())
        return got.ended;
    if (got.status == 0) {
        if (got.out != want.out)
            return "status 0 with another report";
        if (got.pictures != want.pictures)
            return "status 0 with another picture";
        if (!got.err.empty())
            return "status 0 with a message";
        return {};
    }
    if (got.status != 2)
        return "status " + std::to_string(got.status);
    // Out of memory before the files, or between them, ends the run with no file to name.
    const std::string runRefusal = "meter: cannot allocate memory";
    const bool runRefused = got.err.find(runRefusal + "\n") != std::string::npos;
    const auto wantLines = linesByFile(want.out, files);
    const auto gotLines = linesByFile(got.out, files);
    std::size_t reported = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& f = files[i];
        auto it = gotLines.find(f);
        if (it != gotLines.end()) {
            ++reported;
            if (it->second != wantLines.at(f))
                return "another reading of " + f;
        }
        const std::string picture = "out-" + std::to_string(i + 1) + ".svg";
        auto pic = got.pictures.find(picture);
        if (pic != got.pictures.end() && pic->second != want.pictures.at(picture))
            return "another picture of " + f;
        const bool named = got.err.find("meter: " + f + ": ") != std::string::npos;
        if (!named && !runRefused &&
            (it == gotLines.end() || (want.pictures.count(picture) && pic == got.pictures.end())))
            return "no message names " + f;
    }
    if (reported == files.size() && got.pictures == want.pictures)
        return "status 2 with every report and picture";
    for (const auto& [name, content] : got.pictures)
        if (!want.pictures.count(name))
            return "a file left behind: " + name;
    std::istringstream err(got.err);
    for (std::string line; std::getline(err, line);) {
        bool names = line == runRefusal;
        for (const std::string& f : files)
            names =
                names || line.rfind("meter: " + f + ": ", 0) == 0 || line.rfind("meter: warning: " + f + ": ", 0) == 0;
        if (!names)
            return "a message that names no file: " + line;
    }
    return {};
}

} // namespace shortofmemory
