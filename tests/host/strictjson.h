// A strict check of one JSON text as the standard defines it: exactly one value, strings of
// well-formed UTF-8 without raw control characters, numbers in JSON's own form.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace jsontest {

class StrictJson
{
public:
    explicit StrictJson(const std::string& text) : s_(text) {}
    bool valid()
    {
        space();
        if (!value())
            return false;
        space();
        return at_ == s_.size();
    }

private:
    int peek() const { return at_ < s_.size() ? static_cast<unsigned char>(s_[at_]) : -1; }
    bool take(char c)
    {
        if (peek() != static_cast<unsigned char>(c))
            return false;
        ++at_;
        return true;
    }
    void space()
    {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')
            ++at_;
    }
    bool value()
    {
        if (++depth_ > 64)
            return false;
        bool ok = false;
        switch (peek()) {
        case '{':
            ok = members('}', true);
            break;
        case '[':
            ok = members(']', false);
            break;
        case '"':
            ok = string();
            break;
        case 't':
            ok = word("true");
            break;
        case 'f':
            ok = word("false");
            break;
        case 'n':
            ok = word("null");
            break;
        default:
            ok = number();
        }
        --depth_;
        return ok;
    }
    bool word(const char* w)
    {
        const std::size_t n = std::strlen(w);
        if (s_.compare(at_, n, w) != 0)
            return false;
        at_ += n;
        return true;
    }
    // An object's members or an array's elements up to `close`.
    bool members(char close, bool named)
    {
        ++at_;
        space();
        if (take(close))
            return true;
        for (;;) {
            space();
            if (named) {
                if (!string())
                    return false;
                space();
                if (!take(':'))
                    return false;
                space();
            }
            if (!value())
                return false;
            space();
            if (take(close))
                return true;
            if (!take(','))
                return false;
        }
    }
    bool digits()
    {
        const std::size_t from = at_;
        while (peek() >= '0' && peek() <= '9')
            ++at_;
        return at_ > from;
    }
    bool number()
    {
        take('-');
        if (!take('0') && !(peek() >= '1' && peek() <= '9' && digits()))
            return false;
        if (take('.') && !digits())
            return false;
        if (take('e') || take('E')) {
            if (!take('+'))
                take('-');
            if (!digits())
                return false;
        }
        return true;
    }
    bool string()
    {
        if (!take('"'))
            return false;
        for (;;) {
            const int c = peek();
            if (c < 0x20) // the end of the text, or a raw control character
                return false;
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\') {
                ++at_;
                if (take('u')) {
                    for (int i = 0; i < 4; ++i, ++at_)
                        if (peek() < 0 || !std::isxdigit(peek()))
                            return false;
                } else if (!(take('"') || take('\\') || take('/') || take('b') || take('f') || take('n') || take('r') ||
                             take('t'))) {
                    return false;
                }
            } else if (!character()) {
                return false;
            }
        }
    }
    // One character of well-formed UTF-8: decoded, then held to its shortest form and the range of
    // scalar values.
    bool character()
    {
        const int lead = peek();
        int length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 0;
        if (length == 0)
            return false;
        std::uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (int i = 1; i < length; ++i) {
            const int c = at_ + i < s_.size() ? static_cast<unsigned char>(s_[at_ + i]) : -1;
            if (c < 0 || c >> 6 != 2)
                return false;
            cp = cp << 6 | (c & 0x3F);
        }
        static const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < shortest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        at_ += static_cast<std::size_t>(length);
        return true;
    }

    const std::string& s_;
    std::size_t at_ = 0;
    int depth_ = 0;
};

inline bool isStrictJson(const std::string& text)
{
    return StrictJson(text).valid();
}

} // namespace jsontest
