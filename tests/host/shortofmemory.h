// What a `meter` run short of memory may give: for each file either the report line and picture of
// a run with memory to spare, byte for byte, or a message naming the file with the shortage as its
// cause, its picture's name left as it was, and then status 2; warnings only where that run warns
// too (and a decoder's own line of its shortage); never another reading, a crash, a hang, or a file left behind.
#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
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

inline std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The report line of each file in a JSON run, by file.
inline std::map<std::string, std::string> linesByFile(const std::string& out, const std::vector<std::string>& files)
{
    std::map<std::string, std::string> lines;
    for (const std::string& line : linesOf(out))
        for (const std::string& f : files)
            if (line.find("\"file\": \"" + f + "\"") != std::string::npos ||
                line.find("\"file\":\"" + f + "\"") != std::string::npos)
                lines[f] = line;
    return lines;
}

// Whether `line` refuses `file` for want of memory: `meter: FILE: cannot allocate memory`, or how
// much a step could not have, `meter: FILE: cannot allocate N MiB for ...` (N whole or decimal).
inline bool refuses(const std::string& line, const std::string& file)
{
    const std::string head = "meter: " + file + ": cannot allocate ";
    if (line.rfind(head, 0) != 0)
        return false;
    static const std::regex amount(R"(\d+(\.\d+)? MiB for .+)");
    const std::string rest = line.substr(head.size());
    return rest == "memory" || std::regex_match(rest, amount);
}

// Whether `line` is one a decoder beneath libsndfile writes itself when one of its allocations fails,
// before meter's refusal, and which meter cannot keep quiet: libmpg123's
// "[src/libmpg123/FILE:FUNCTION():LINE] error: ...".
inline bool decoderOwnLine(const std::string& line)
{
    return line.rfind("[src/libmpg123/", 0) == 0;
}

// The picture of the `i`th of `count` files when the run was given `--svg DIR/out.svg`.
inline std::string pictureName(std::size_t i, std::size_t count)
{
    return count > 1 ? "out-" + std::to_string(i + 1) + ".svg" : "out.svg";
}

// What is wrong with `got` against `want`, the run with memory to spare, of `files` as the command
// line names them; empty when nothing. `earlier` holds what lay in the picture's folder before
// either run.
inline std::string judge(const MeterOutcome& got, const MeterOutcome& want, const std::vector<std::string>& files,
                         const std::map<std::string, std::string>& earlier = {})
{
    if (!got.ended.empty())
        return got.ended;
    if (got.status == 0) {
        if (got.out != want.out)
            return "status 0 with another report";
        if (got.pictures != want.pictures)
            return "status 0 with another picture";
        if (got.err != want.err)
            return "status 0 with other messages";
        return {};
    }
    if (got.status != 2)
        return "status " + std::to_string(got.status);
    const std::vector<std::string> wantLines = linesOf(want.out), gotLines = linesOf(got.out);
    if (wantLines.size() != files.size())
        return "the run with memory to spare has " + std::to_string(wantLines.size()) + " report lines";
    const auto as = [](const std::map<std::string, std::string>& in, const std::string& name) {
        const auto it = in.find(name);
        return it == in.end() ? std::string("(none)") : it->second;
    };
    // Each file metered or refused, in order: where its picture is drawn, the picture tells which;
    // the report lines must be those of the metered files, in their order.
    std::vector<std::pair<std::string, int>> unnamed; // refused files not yet named, by name, in order
    std::size_t next = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& f = files[i];
        const std::string picture = pictureName(i, files.size());
        const bool drawn = want.pictures.count(picture) && as(want.pictures, picture) != as(earlier, picture);
        const bool reported = next < gotLines.size() && gotLines[next] == wantLines[i];
        bool metered = reported;
        if (drawn) {
            const std::string now = as(got.pictures, picture);
            if (now != as(want.pictures, picture) && now != as(earlier, picture))
                return "another picture of " + f + " at " + picture;
            metered = now == as(want.pictures, picture);
            if (metered && !reported)
                return "the picture of " + f + " without its report";
        }
        if (metered) {
            ++next;
            continue;
        }
        auto named = std::find_if(unnamed.begin(), unnamed.end(), [&f](const auto& u) { return u.first == f; });
        if (named == unnamed.end())
            unnamed.emplace_back(f, 1);
        else
            ++named->second;
    }
    if (next < gotLines.size())
        return "a report line of a file refused, or another: " + gotLines[next];
    if (unnamed.empty())
        return "status 2 with every report and picture";
    for (const auto& [name, content] : got.pictures)
        if (!want.pictures.count(name) && !earlier.count(name))
            return "a file left behind: " + name;
    for (const auto& [name, content] : earlier) {
        bool picture = false;
        for (std::size_t i = 0; i < files.size(); ++i)
            picture = picture || name == pictureName(i, files.size());
        if (!picture && as(got.pictures, name) != content)
            return "an earlier file changed: " + name;
    }
    // Every refused file named once with the shortage; warnings only where the run with memory to
    // spare gives them; nothing else.
    const std::vector<std::string> wantErr = linesOf(want.err);
    for (const std::string& line : linesOf(got.err)) {
        bool known = false;
        for (auto& [name, count] : unnamed)
            if (!known && count > 0 && refuses(line, name)) {
                --count;
                known = true;
            }
        for (const std::string& w : wantErr)
            known = known || (line == w && line.rfind("meter: warning: ", 0) == 0);
        known = known || decoderOwnLine(line);
        if (!known)
            return "a message that is not a refusal for want of memory of a file not metered: " + line;
    }
    for (const auto& [name, count] : unnamed)
        if (count > 0)
            return "no message refuses " + name + " for want of memory";
    return {};
}

} // namespace shortofmemory
