// Reads back the stacks tests/common/stack_frames.h writes, and names their frames with addr2line:
// function, file and line, as far as the binaries tell them.
#pragma once

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace symbolizedstack {

// One line of a written stack.
struct Frame
{
    std::string object; // the file that holds the code
    std::string offset; // "0x..." within it
    std::string name;   // the exported function it lies in; empty when none
};

// The frame a line holds; false for a line that is not a frame.
inline bool parseFrame(const std::string& line, Frame& frame)
{
    const auto open = line.rfind("(+0x");
    const auto close = open == std::string::npos ? open : line.find(')', open);
    if (close == std::string::npos)
        return false;
    frame.object = line.substr(0, open);
    frame.offset = line.substr(open + 2, close - open - 2);
    frame.name = close + 2 <= line.size() ? line.substr(close + 2) : "";
    return true;
}

// What addr2line says of each of `offsets` in `object`: function and place ("file:line") of each
// function inlined there, the outermost last; none where it knows nothing.
using Calls = std::vector<std::pair<std::string, std::string>>;
inline std::vector<Calls> namedBy(const std::string& object, const std::vector<std::string>& offsets)
{
    std::string cmd = "addr2line -a -f -C -i -e '" + object + "'";
    for (const std::string& offset : offsets)
        cmd += " " + offset;
    std::vector<std::string> lines;
    if (FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r")) {
        char buf[4096];
        while (std::fgets(buf, sizeof buf, p)) {
            std::string line = buf;
            if (!line.empty() && line.back() == '\n')
                line.pop_back();
            lines.push_back(line);
        }
        pclose(p);
    }
    // Each address's lines start with the address; then function and place, in pairs. A place it
    // does not know is a guess from the nearest exported name, and left out.
    std::vector<Calls> named;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("0x", 0) == 0) {
            named.emplace_back();
            continue;
        }
        if (named.empty() || i + 1 >= lines.size())
            break;
        if (lines[i] != "??" && lines[i + 1].rfind("??:", 0) != 0)
            named.back().emplace_back(lines[i], lines[i + 1]);
        ++i;
    }
    named.resize(offsets.size());
    return named;
}

inline std::string demangled(const std::string& name)
{
    int status = 0;
    char* plain = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    const std::string out = status == 0 && plain ? plain : name;
    std::free(plain);
    return out;
}

// Whether code at `place` is the tests' own allocation machinery, which fails the allocation.
inline bool machinery(const std::string& place)
{
    return place.find("/tests/common/") != std::string::npos ||
           place.find("/tests/host/injector/") != std::string::npos;
}

// `text` with each frame named where addr2line can, else by its exported function and its place in
// its file; the tests' own machinery at the inner end of a stack left out; other lines as they are.
inline std::string symbolized(const std::string& text)
{
    std::vector<std::string> lines;
    std::vector<Frame> frames;
    std::vector<bool> isFrame;
    std::map<std::string, std::vector<std::string>> offsets; // by object
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        frames.emplace_back();
        isFrame.push_back(parseFrame(line, frames.back()));
        if (isFrame.back())
            offsets[frames.back().object].push_back(frames.back().offset);
    }
    std::map<std::string, std::vector<Calls>> named;
    for (const auto& [object, list] : offsets)
        named[object] = namedBy(object, list);
    std::map<std::string, std::size_t> used;
    std::string out;
    bool inner = true; // no frame of this stack shown yet
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!isFrame[i]) {
            out += lines[i] + "\n";
            inner = true;
            continue;
        }
        const Frame& f = frames[i];
        const Calls& calls = named[f.object][used[f.object]++];
        if (inner && !calls.empty() && machinery(calls.back().second))
            continue;
        inner = false;
        if (calls.empty())
            out += "  " + (f.name.empty() ? "?" : demangled(f.name)) + " in " + f.object + " (+" + f.offset + ")\n";
        for (const auto& [function, place] : calls)
            out += "  " + function + " at " + place + "\n";
    }
    return out;
}

} // namespace symbolizedstack
