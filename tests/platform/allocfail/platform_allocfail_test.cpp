// Out of memory, text conversion and formatting answer failure and work again afterwards: never a
// throw or a crash, on a thread that converts for the first time too.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <thread>

#include "platform/strings.h"
#include "tests/common/allocation_countdown.h"

namespace {

bool format(std::u16string& out, const char16_t* f, ...)
{
    va_list args;
    va_start(args, f);
    const bool ok = Platform::formatV(f, args, out);
    va_end(args);
    return ok;
}

struct Outcome
{
    bool reached = false;
    bool decoded = false;
    bool formatted = false;
    std::u16string text;
    std::u16string formattedText;
    bool again = false;
};

// On a thread of its own, so that its converters are made under the countdown.
Outcome convertFailing(long n)
{
    Outcome o;
    std::thread([&] {
        {
            countdown::Fail fail(n);
            o.decoded = Platform::decode("caf\x8E", 4, Platform::kEncodingMacRoman, o.text);
            o.formatted = format(o.formattedText, u"%s %02lld", "\xA5", 7ll);
            o.reached = fail.failed();
        }
        std::u16string text, formatted;
        o.again = Platform::decode("caf\x8E", 4, Platform::kEncodingMacRoman, text) && text == u"caf\u00E9" &&
                  format(formatted, u"%s %02lld", "\xA5", 7ll) && formatted == u"\u2022 07";
    }).join();
    return o;
}

TEST(PlatformAllocationFailure, ConversionAnswersFailureAndWorksAgain)
{
    int failures = 0;
    for (long n = 0;; ++n) {
        SCOPED_TRACE(n);
        const Outcome o = convertFailing(n);
        if (o.decoded) {
            EXPECT_EQ(o.text, u"caf\u00E9");
        } else {
            EXPECT_TRUE(o.text.empty());
        }
        if (o.formatted) {
            EXPECT_EQ(o.formattedText, u"\u2022 07");
        }
        failures += !o.decoded || !o.formatted;
        EXPECT_TRUE(o.again);
        if (!o.reached)
            break;
    }
    EXPECT_GT(failures, 0);
}

} // namespace
