// The reports hold for any file name: every JSON line is valid JSON, names that are UTF-8 come
// out as they are, control characters (C0, DEL and C1) escaped and each piece that is not UTF-8
// one U+FFFD; text for the terminal holds no control character and shows each byte that is not
// UTF-8.
#include "host/report.h"
#include "strictjson.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

using namespace qelhost;

std::string jsonLine(const std::string& file)
{
    MeterReport r;
    r.file = file;
    r.sampleRate = 48000;
    r.channels = 2;
    return formatJson(r);
}

const std::string kFffd = "\xEF\xBF\xBD";

} // namespace

TEST(HostReportJson, FileNamesOfAnyBytesGiveValidJson)
{
    const struct
    {
        std::string name, shown;
    } cases[] = {
        {"caf\xE9.wav", "caf" + kFffd + ".wav"}, // Latin-1
        {"a\x01"
         "b\x1F\x7F",
         "a\\u0001b\\u001f\\u007f"}, // control characters: C0, DEL
        {"\xC2\x80|\xC2\x9B"
         "1m|\xC2\x9F|\xC2\xA0",
         "\\u0080|\\u009b1m|\\u009f|\xC2\xA0"}, // and C1, as UTF-8 (U+00A0 is none)
        {"\"q\"\\\t\n", "\\\"q\\\"\\\\\\t\\n"}, // escapes
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5 \xF0\x9F\x8E\xB5 \xF4\x8F\xBF\xBF", // 2, 3 and 4 bytes,
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5 \xF0\x9F\x8E\xB5 \xF4\x8F\xBF\xBF"}, // the last character
        {"\xC0\xAF|\xE0\x80\xAF|\xF0\x80\x80\xAF",
         kFffd + kFffd + "|" + kFffd + kFffd + kFffd + "|" + kFffd + kFffd + kFffd + kFffd}, // overlong: each byte one
        {"x\xE2\x82|\xF0\x9F\x8E", "x" + kFffd + "|" + kFffd}, // truncated: one for the start
        {"\xED\xA0\x80|\xF4\x90\x80\x80|\xF5|\x80\xBF",        // surrogate, beyond U+10FFFF, no lead byte
         kFffd + kFffd + kFffd + "|" + kFffd + kFffd + kFffd + kFffd + "|" + kFffd + "|" + kFffd + kFffd},
    };
    for (const auto& c : cases) {
        const std::string line = jsonLine(c.name);
        EXPECT_TRUE(jsontest::isStrictJson(line.substr(0, line.size() - 1))) << line;
        EXPECT_EQ(line.back(), '\n');
        EXPECT_EQ(line.rfind("{\"file\": \"" + c.shown + "\", \"sample_rate\": 48000,", 0), 0u) << line;
    }

    // Random bytes, weighted towards the bytes of multi-byte characters.
    std::mt19937 random(7);
    const unsigned char pool[] = {'a',  '"',  '\\', 0x01, 0x1F, 0x7F, 0x80, 0x8F, 0x9F, 0xA0, 0xBF,
                                  0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    for (int i = 0; i < 20000; ++i) {
        std::string name(random() % 9, ' ');
        for (char& b : name)
            b = static_cast<char>(pool[random() % sizeof(pool)]);
        const std::string line = jsonLine(name);
        ASSERT_TRUE(jsontest::isStrictJson(line.substr(0, line.size() - 1))) << line;
        // No control character is left raw, DEL and C1 included.
        for (std::size_t at = 0; at < line.size() - 1; ++at) {
            const auto b = static_cast<unsigned char>(line[at]);
            ASSERT_TRUE(b >= 0x20 && b != 0x7F) << line;
            ASSERT_FALSE(b == 0xC2 && static_cast<unsigned char>(line[at + 1]) < 0xA0) << line;
        }
        // A name without escapes that is well-formed UTF-8 comes out unchanged.
        if (name.find_first_of("\"\\\x01\x1F\x7F") == std::string::npos && name.find("\xC2\x80") == std::string::npos &&
            name.find("\xC2\x8F") == std::string::npos && name.find("\xC2\x9F") == std::string::npos &&
            jsontest::isStrictJson("\"" + name + "\"")) {
            ASSERT_EQ(line.rfind("{\"file\": \"" + name + "\",", 0), 0u) << line;
        }
    }
}

TEST(HostReportText, NamesReachTheTerminalWithoutControlCharacters)
{
    const struct
    {
        std::string name, shown;
    } cases[] = {
        {"a\x1b[31m\nb\tc\r", "a\\x1b[31m\\nb\\tc\\r"}, // C0
        {std::string("\0\x7F", 2), "\\x00\\x7f"},       // NUL and DEL
        {"\xC2\x9B"
         "1m\xC2\x80|\xC2\x9F",
         "\\xc2\\x9b1m\\xc2\\x80|\\xc2\\x9f"}, // C1, as UTF-8
        {"\xC2\xA0\xC3\xBC \xE6\x97\xA5 \xF0\x9F\x8E\xB5 \\",
         "\xC2\xA0\xC3\xBC \xE6\x97\xA5 \xF0\x9F\x8E\xB5 \\"},                      // printable
        {"caf\xE9|\x9B|\xE2\x82|\xC0\xAF", "caf\\xe9|\\x9b|\\xe2\\x82|\\xc0\\xaf"}, // not UTF-8: each byte
    };
    for (const auto& c : cases)
        EXPECT_EQ(terminalText(c.name), c.shown);
    MeterReport r;
    r.file = "a\nb";
    r.sampleRate = 48000;
    r.channels = 2;
    EXPECT_EQ(formatText(r).rfind("a\\nb: 48000 Hz, 2 channels, 0.00 s\n  controls:\n", 0), 0u) << formatText(r);

    // Random bytes: never a control character (nor a C1 one), and what is left is UTF-8.
    std::mt19937 random(11);
    const unsigned char pool[] = {'a',  '\\', 0x00, 0x0A, 0x1B, 0x1F, 0x7F, 0x80, 0x9B, 0x9F, 0xA0,
                                  0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    for (int i = 0; i < 20000; ++i) {
        std::string name(random() % 9, ' ');
        for (char& b : name)
            b = static_cast<char>(pool[random() % sizeof(pool)]);
        const std::string shown = terminalText(name);
        std::string quoted = "\"";
        for (std::size_t at = 0; at < shown.size(); ++at) {
            const auto b = static_cast<unsigned char>(shown[at]);
            ASSERT_TRUE(b >= 0x20 && b != 0x7F) << shown;
            ASSERT_FALSE(b == 0xC2 && at + 1 < shown.size() && static_cast<unsigned char>(shown[at + 1]) < 0xA0)
                << shown;
            quoted += b == '\\' ? "\\\\" : std::string(1, static_cast<char>(b));
        }
        ASSERT_TRUE(jsontest::isStrictJson(quoted + "\"")) << shown;
    }
}

// The elapsed time as the plug-in shows it, hh:mm:ss with as many hours as it takes, is in seconds
// in JSON: past an hour, a day and 99 hours too.
TEST(HostReportJson, TimeIsInSecondsPastAnHourAndBeyondTwoDigitsOfHours)
{
    MeterReport r;
    r.params.resize(1);
    r.params[0].title = "Time";
    r.params[0].flags = 1 << 1; // a reading
    for (long long s : {0LL, 6LL, 3599LL, 3600LL, 3661LL, 86399LL, 90787LL, 359999LL, 360000LL, 3600000001LL}) {
        char text[32];
        std::snprintf(text, sizeof(text), "%02lld:%02lld:%02lld", s / 3600, s % 3600 / 60, s % 60);
        r.params[0].text = text;
        const std::string line = formatJson(r);
        EXPECT_NE(line.find("\"Time\": {\"id\": 0, \"normalized\": 0, \"plain\": " + std::to_string(s) +
                            ", \"unit\": \"s\", \"text\": \"" + text + "\"}"),
                  std::string::npos)
            << line;
    }
}
