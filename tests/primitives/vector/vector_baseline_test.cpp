// The lowest variant, the stubs and the CPU detection must run on a processor without SSE3: their
// machine code in this very program may use no instruction beyond SSE2.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

bool startsWithAny(const std::string& s, const char* prefixes)
{
    std::istringstream in(prefixes);
    for (std::string p; in >> p;)
        if (s.rfind(p, 0) == 0)
            return true;
    return false;
}

// SSE3, SSSE3, SSE4.1, SSE4.2 and every VEX-encoded mnemonic, by their leading letters.
bool beyondSse2(const std::string& m)
{
    return startsWithAny(
               m, "addsub hadd hsub lddqu movddup movshdup movsldup monitor mwait pabs palignr phadd phsub "
                  "pmaddubsw pmulhrsw pshufb psign blend dpp extractps insertps movntdqa mpsadbw packusdw "
                  "pblend pcmpeqq pextrb pextrd pextrq phminposuw pinsrb pinsrd pinsrq pmaxsb pmaxsd pmaxuw pmaxud "
                  "pminsb pminsd pminuw pminud pmuldq pmulld ptest round pcmpestr pcmpistr pcmpgtq popcnt fisttp "
                  "pmovsx pmovzx crc32") ||
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
        const std::string s(line, std::strcspn(line, "\n"));
        const auto lt = s.find(" <"), tab = s.find(":\t");
        if (lt != std::string::npos && s.ends_with(">:") && s.find_first_not_of("0123456789abcdef") == lt) {
            // "0000000000001234 <name>:" opens a function: m7_ functions, helpers in namespace m7,
            // and the code that runs before or around dispatch are checked.
            current = s.substr(lt + 2, s.size() - lt - 4);
            checking = startsWithAny(current, "m7_ _ZN2m7 _ZNK2m7 ipp own ps_ Mini");
            checkedFunctions += checking;
        } else if (checking && tab != std::string::npos) { // "    1234:\tmnemonic operands"
            const std::string rest = s.substr(tab + 2);
            if (beyondSse2(rest.substr(0, rest.find_first_of(" \t"))))
                offenders.insert(current + ": " + s);
        }
    }
    if (checkedFunctions == 0)
        GTEST_SKIP() << "objdump gave no disassembly";
    EXPECT_GT(checkedFunctions, 50);
    for (const auto& o : offenders)
        ADD_FAILURE() << o;
}

} // namespace
