#include "base/wideliteraltable.h"

#include <cstring>

namespace Calvereth {

WideLiteralTable& WideLiteralTable::instance()
{
    static WideLiteralTable table;
    return table;
}

const char16* WideLiteralTable::getString(const char8* literal)
{
    if (!literal)
        return nullptr;
    auto it = strings.lower_bound(literal);
    if (it != strings.end() && it->first == literal)
        return it->second;
    size_t length = std::strlen(literal);
    auto* copy = new char16[length + 1];
    // Each byte widened as a signed 8-bit value: the identity for ASCII literals.
    for (size_t i = 0; i < length; ++i)
        copy[i] = static_cast<char16>(static_cast<int16>(static_cast<signed char>(literal[i])));
    copy[length] = 0;
    strings.emplace_hint(it, literal, copy);
    return copy;
}

char16 WideLiteralTable::getChar(char8 c)
{
    auto key = static_cast<signed char>(c);
    auto it = chars.find(key);
    if (it != chars.end())
        return it->second;
    auto wide = static_cast<char16>(static_cast<int16>(key));
    chars.emplace(key, wide);
    return wide;
}

WideLiteralTable::~WideLiteralTable()
{
    for (auto& entry : strings)
        delete[] entry.second;
    strings.clear();
    chars.clear();
}

} // namespace Calvereth
