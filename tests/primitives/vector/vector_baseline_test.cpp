// The lowest variant, the stubs and the CPU detection must run on a processor without SSE3: their
// machine code in this very program may use no instruction beyond SSE2.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <unistd.h>

namespace {

bool baselineSymbol(const std::string& name)
{
    // m7_ functions, helpers in namespace m7, and the code that runs before or around dispatch.
    static const std::regex pattern(R"(^(m7_|_ZN2m7|_ZNK2m7|ipp|own|ps_|Mini))");
    return std::regex_search(name, pattern);
}

TEST(VectorBaseline, LowestVariantUsesNoInstructionBeyondSse2)
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    const std::string cmd = std::string("objdump -d --no-show-raw-insn '") + exe + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), &pclose);
    if (!pipe)
        GTEST_SKIP() << "objdump not available";

    // SSE3, SSSE3, SSE4.1, SSE4.2 and every VEX-encoded mnemonic.
    static const std::regex beyond(
        R"(^\s*[0-9a-f]+:\s+(addsubp[sd]|hadd[p][sd]|hsubp[sd]|lddqu|movddup|movs[hl]dup|fisttp|monitor|mwait|)"
        R"(pabs[bwd]|palignr|phadd[wd]|phaddsw|phsub[wd]|phsubsw|pmaddubsw|pmulhrsw|pshufb|psign[bwd]|)"
        R"(blendv?p[sd]|dpp[sd]|extractps|insertps|movntdqa|mpsadbw|packusdw|pblendvb|pblendw|pcmpeqq|)"
        R"(pextr[bdq]|phminposuw|pinsr[bdq]|pmaxs[bd]|pmaxu[wd]|pmins[bd]|pminu[wd]|pmov[sz]x[a-z]+|pmuldq|)"
        R"(pmulld|ptest|round[ps][sd]|crc32[a-z]*|pcmp[ei]str[im]|popcnt|pcmpgtq|v[a-z0-9]+)\s)");
    static const std::regex header(R"(^[0-9a-f]+ <([^>]+)>:$)");

    std::string current;
    bool checking = false;
    int checkedFunctions = 0;
    std::set<std::string> offenders;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe.get())) {
        std::string s(line);
        if (!s.empty() && s.back() == '\n')
            s.pop_back();
        std::smatch m;
        if (std::regex_match(s, m, header)) {
            current = m[1];
            checking = baselineSymbol(current);
            checkedFunctions += checking ? 1 : 0;
            continue;
        }
        if (checking && std::regex_search(s, beyond))
            offenders.insert(current + ": " + s);
    }
    if (checkedFunctions == 0)
        GTEST_SKIP() << "objdump gave no disassembly";
    EXPECT_GT(checkedFunctions, 50);
    for (const auto& o : offenders)
        ADD_FAILURE() << o;
}

} // namespace
