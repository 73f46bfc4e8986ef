// Random edits, searches and comparisons of a String, in both widths and mixing them, against a
// plain model.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "base/fstring.h"

using namespace Calvereth;

namespace {
std::u16string contents(const String& s)
{
    std::u16string out;
    for (int32 i = 0; i < s.length(); ++i)
        out.push_back(s.getChar(i));
    return out;
}
std::string narrowAscii(const std::u16string& s)
{
    return std::string(s.begin(), s.end());
}
} // namespace

TEST(Base1StringModel, RandomEditsMatchModel)
{
    std::mt19937 rng(1234);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto randomText = [&] {
        std::u16string t;
        int n = pick(6);
        for (int i = 0; i < n; ++i)
            t.push_back(static_cast<char16>('a' + pick(4)));
        return t;
    };
    int lengths = 0;
    for (int round = 0; round < 40; ++round) {
        String s;
        std::u16string model;
        for (int step = 0; step < 150; ++step) {
            std::u16string t = randomText();
            int len = static_cast<int>(model.size());
            int index = pick(len + 2) - 1;
            int n = pick(5) - 1;
            bool wide = pick(2) == 0;
            std::string t8 = narrowAscii(t);
            switch (pick(9)) {
            case 0:
                wide ? s.append(t.c_str(), n) : s.append(t8.c_str(), n);
                model += t.substr(0, n < 0 ? t.size() : static_cast<size_t>(n));
                break;
            case 1:
                if (index >= 0 && index <= len) {
                    wide ? s.insertAt(index, t.c_str(), n) : s.insertAt(index, t8.c_str(), n);
                    model.insert(static_cast<size_t>(index), t.substr(0, n < 0 ? t.size() : static_cast<size_t>(n)));
                }
                break;
            case 2:
                s.remove(index, n);
                if (index >= 0 && index < len && n != 0)
                    model.erase(static_cast<size_t>(index), n < 0 ? std::u16string::npos : static_cast<size_t>(n));
                break;
            case 3: {
                int count = pick(4) - 1;
                s.replace(index, count, ConstString(t.c_str()), n);
                if (index >= 0 && index <= len && count != 0) {
                    size_t c = (count < 0 || index + count > len) ? static_cast<size_t>(len - index)
                                                                  : static_cast<size_t>(count);
                    if (c > 0)
                        model.replace(static_cast<size_t>(index), c,
                                      t.substr(0, n < 0 ? t.size() : static_cast<size_t>(n)));
                }
                break;
            }
            case 4:
                s.append(s); // itself
                model += model;
                if (model.size() > 200)
                    s.remove(100), model.erase(100);
                break;
            case 5:
                wide ? s.toWideString() : s.toMultiByte();
                break;
            case 6:
                wide ? s.assign(t.c_str()) : s.assign(t8.c_str());
                model = t;
                break;
            case 7: {
                std::u16string what = t.substr(0, 2);
                if (!what.empty() && s.replace(what.c_str(), u"Z", true) >= 0) {
                    size_t at = 0;
                    while ((at = model.find(what, at)) != std::u16string::npos)
                        model.replace(at, what.size(), u"Z"), at += 1;
                }
                break;
            }
            case 8:
                if (index >= 0 && index < len) {
                    s.setChar(index, u'Q');
                    model[static_cast<size_t>(index)] = u'Q';
                }
                break;
            }
            ASSERT_EQ(contents(s), model) << "round " << round << " step " << step;
            // Searches and comparisons against the model's own.
            const std::u16string probe = t.substr(0, 2);
            const std::string probe8 = narrowAscii(probe);
            const ConstString p = wide ? ConstString(probe.c_str()) : ConstString(probe8.c_str());
            auto at = [](size_t i) { return i == std::u16string::npos ? -1 : static_cast<int32>(i); };
            auto sign = [](int v) { return (v > 0) - (v < 0); };
            ASSERT_EQ(sign(s.compare(p)), sign(model.compare(probe))) << narrowAscii(probe);
            if (!probe.empty()) {
                ASSERT_EQ(s.findNext(0, p), at(model.find(probe)));
                ASSERT_EQ(s.findPrev(-1, p), at(model.rfind(probe)));
                ASSERT_EQ(s.countOccurences(probe[0], 0), std::count(model.begin(), model.end(), probe[0]));
                ASSERT_EQ(s.startsWith(p), model.starts_with(probe));
                ASSERT_EQ(s.endsWith(p), model.ends_with(probe));
            }
            ASSERT_EQ(s.length(), static_cast<int32>(model.size()));
            if (s.rawText()) {
                // The text is terminated in its width.
                ASSERT_EQ(s.isWideString() ? static_cast<const char16*>(s.rawText())[s.length()]
                                           : static_cast<const char8*>(s.rawText())[s.length()],
                          0);
            }
        }
        lengths += static_cast<int>(model.size());
    }
    EXPECT_GT(lengths, 40 * 5); // the edits did build up text
}
