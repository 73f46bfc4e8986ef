// The lowest variant, the stubs and the CPU detection must run on a processor without SSE3: their
// machine code in this very program may use no instruction beyond SSE2.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>

namespace {

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

bool baselineSymbol(const std::string& name)
{
    // m7_ functions, helpers in namespace m7, and the code that runs before or around dispatch.
    for (const char* p : {"m7_", "_ZN2m7", "_ZNK2m7", "ipp", "own", "ps_", "Mini"})
        if (startsWith(name, p))
            return true;
    return false;
}

// SSE3, SSSE3, SSE4.1, SSE4.2 and every VEX-encoded mnemonic.
bool beyondSse2(const std::string& m)
{
    static const std::set<std::string> exact = {
        "addsubps",  "addsubpd",  "haddps",    "haddpd",    "hsubps",   "hsubpd",     "lddqu",     "movddup",
        "movshdup",  "movsldup",  "monitor",   "mwait",     "pabsb",    "pabsw",      "pabsd",     "palignr",
        "phaddw",    "phaddd",    "phaddsw",   "phsubw",    "phsubd",   "phsubsw",    "pmaddubsw", "pmulhrsw",
        "pshufb",    "psignb",    "psignw",    "psignd",    "blendps",  "blendpd",    "blendvps",  "blendvpd",
        "dpps",      "dppd",      "extractps", "insertps",  "movntdqa", "mpsadbw",    "packusdw",  "pblendvb",
        "pblendw",   "pcmpeqq",   "pextrb",    "pextrd",    "pextrq",   "phminposuw", "pinsrb",    "pinsrd",
        "pinsrq",    "pmaxsb",    "pmaxsd",    "pmaxuw",    "pmaxud",   "pminsb",     "pminsd",    "pminuw",
        "pminud",    "pmuldq",    "pmulld",    "ptest",     "roundps",  "roundpd",    "roundss",   "roundsd",
        "pcmpestri", "pcmpestrm", "pcmpistri", "pcmpistrm", "pcmpgtq",  "popcnt"};
    if (exact.count(m))
        return true;
    return startsWith(m, "fisttp") || startsWith(m, "pmovsx") || startsWith(m, "pmovzx") || startsWith(m, "crc32") ||
           (m.size() > 2 && m[0] == 'v' && m != "verr" && m != "verw");
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

    std::string current;
    bool checking = false;
    int checkedFunctions = 0;
    std::set<std::string> offenders;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe.get())) {
        std::string s(line);
        if (!s.empty() && s.back() == '\n')
            s.pop_back();
        // "0000000000001234 <name>:" opens a function.
        const auto lt = s.find(" <");
        if (lt != std::string::npos && s.size() > 2 && s.compare(s.size() - 2, 2, ">:") == 0 &&
            s.find_first_not_of("0123456789abcdef") == lt) {
            current = s.substr(lt + 2, s.size() - lt - 4);
            checking = baselineSymbol(current);
            checkedFunctions += checking ? 1 : 0;
            continue;
        }
        if (!checking)
            continue;
        // "    1234:\tmnemonic operands"
        const auto tab = s.find(":\t");
        if (tab == std::string::npos)
            continue;
        std::size_t b = tab + 2;
        std::size_t e = s.find_first_of(" \t", b);
        const std::string mnemonic = s.substr(b, e == std::string::npos ? std::string::npos : e - b);
        if (beyondSse2(mnemonic))
            offenders.insert(current + ": " + s);
    }
    if (checkedFunctions == 0)
        GTEST_SKIP() << "objdump gave no disassembly";
    EXPECT_GT(checkedFunctions, 50);
    for (const auto& o : offenders)
        ADD_FAILURE() << o;
}

} // namespace
