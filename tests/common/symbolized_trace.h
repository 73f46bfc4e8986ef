// A stack as backtrace_symbols_fd writes it, with function names and lines, as far as the binaries
// tell them.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace stacktrace {

inline std::string symbolized(const std::string& trace)
{
    std::string out;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        const auto open = line.find("(+0x"), close = line.find(')', open);
        if (open == std::string::npos || close == std::string::npos) {
            out += "  " + line + "\n";
            continue;
        }
        // A return address: the call is the byte before it.
        const unsigned long long at = std::strtoull(line.c_str() + open + 2, nullptr, 16);
        char call[24];
        std::snprintf(call, sizeof call, "%llx", at > 0 ? at - 1 : at);
        const std::string cmd = "addr2line -f -C -i -e '" + line.substr(0, open) + "' " + call + " 2>/dev/null";
        std::string named;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[512];
            while (std::fgets(buf, sizeof buf, p))
                named += std::string("  ") + buf;
            pclose(p);
        }
        // A stripped library names no function: its offset says more.
        out += named.empty() || named.find("??:") != std::string::npos ? "  " + line + "\n" : named;
    }
    return out;
}

} // namespace stacktrace
