// The lowest variant, the stubs and the CPU detection must run on a processor without SSE3: their
// machine code in this very program may use no instruction beyond SSE2.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <unistd.h>

namespace {

// SSE3, SSSE3, SSE4.1, SSE4.2 and every VEX-encoded mnemonic.
bool beyondSse2(const std::string& m)
{
    static const std::regex later(
        "(addsub|hadd|hsub|blendv?|dp|round)p[sd]|round(ss|sd)|lddqu|mov(ddup|shdup|sldup|ntdqa)|monitor|mwait|"
        "pabs[bwd]|palignr|ph(add|sub)(w|d|sw)|pmaddubsw|pmulhrsw|pshufb|psign[bwd]|extractps|insertps|mpsadbw|"
        "packusdw|pblend(vb|w)|pcmp(eqq|gtq|[ei]str[im])|p(extr|insr)[bdq]|phminposuw|pm(ax|in)(sb|sd|uw|ud)|"
        "pmul(dq|ld)|ptest|popcnt|(fisttp|pmovsx|pmovzx|crc32).*|v.+");
    return std::regex_match(m, later) && m != "verr" && m != "verw";
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
    // "0000000000001234 <name>:" opens a function; "    1234:\tmnemonic operands" is an instruction.
    // m7_ functions, helpers in namespace m7, and the code that runs before or around dispatch.
    const std::regex function("[0-9a-f]+ <(.*)>:"), baseline("(m7_|_ZN2m7|_ZNK2m7|ipp|own|ps_|Mini).*"),
        instruction(" *[0-9a-f]+:\t([a-z0-9]+).*");
    std::string current;
    bool checking = false;
    int checkedFunctions = 0;
    std::set<std::string> offenders;
    char line[4096];
    std::smatch m;
    while (std::fgets(line, sizeof line, pipe.get())) {
        const std::string s(line, std::strcspn(line, "\n"));
        if (std::regex_match(s, m, function)) {
            current = m[1];
            checking = std::regex_match(current, baseline);
            checkedFunctions += checking;
        } else if (checking && std::regex_match(s, m, instruction) && beyondSse2(m[1]))
            offenders.insert(current + ": " + s);
    }
    if (checkedFunctions == 0)
        GTEST_SKIP() << "objdump gave no disassembly";
    EXPECT_GT(checkedFunctions, 50);
    for (const auto& o : offenders)
        ADD_FAILURE() << o;
}

} // namespace
