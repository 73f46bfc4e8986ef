#pragma once
// One UTF-16 copy per 8-bit literal address, made on first request and kept until exit.
// Not locked: static initialisers and the main thread use it, one at a time.
#include <map>

#include "base/ftypes.h"

namespace Calvereth {

class WideLiteralTable
{
public:
    static WideLiteralTable& instance();

    // The 0-terminated 16-bit copy of the literal, keyed by its address; null for a null literal.
    const char16* getString(const char8* literal);
    char16 getChar(char8 c);

    ~WideLiteralTable();

private:
    WideLiteralTable() = default;
    WideLiteralTable(const WideLiteralTable&) = delete;
    WideLiteralTable& operator=(const WideLiteralTable&) = delete;

    std::map<const char8*, char16*> strings;
    std::map<signed char, char16> chars;
};

// Shorthand for WideLiteralTable::instance ().getString (literal).
inline const char16* wideLiteral(const char8* literal)
{
    return WideLiteralTable::instance().getString(literal);
}

} // namespace Calvereth
