// Switches the process to a locale that writes numbers with a decimal comma while the object
// lives, as a host may do at start-up. Needs such a locale on the system; CI makes one with
// `localedef -i de_DE -f UTF-8 de_DE.UTF-8` (Debian package `locales`).
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

namespace testlocale {

class CommaDecimalLocale
{
public:
    CommaDecimalLocale()
    {
        const char* current = std::setlocale(LC_ALL, nullptr);
        saved = current ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
            char probe[16] = {};
            if (std::setlocale(LC_ALL, name) && std::snprintf(probe, sizeof probe, "%.1f", 1.5) > 0 &&
                std::strcmp(probe, "1,5") == 0) {
                active = true;
                return;
            }
        }
        std::setlocale(LC_ALL, saved.c_str());
    }
    ~CommaDecimalLocale() { std::setlocale(LC_ALL, saved.c_str()); }
    CommaDecimalLocale(const CommaDecimalLocale&) = delete;
    CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;
    bool isActive() const { return active; }

private:
    std::string saved;
    bool active = false;
};

} // namespace testlocale

#define NORRIK_SKIP_WITHOUT_COMMA_LOCALE(locale)                                                                       \
    if (!(locale).isActive())                                                                                          \
    GTEST_SKIP() << "no de_DE.UTF-8 locale: make one with `localedef -i de_DE -f UTF-8 de_DE.UTF-8`"
