#pragma once
// View of a caller's fixed-capacity UTF-16 array (a record's text field); never allocates.
#include "base/ftypes.h"

namespace Calvereth {

class FixedString16
{
public:
    // capacity counts 16-bit units, terminator included; a view with capacity below 1 writes nothing.
    FixedString16(char16* buffer, int32 capacity) : buffer(buffer), capacity(buffer ? capacity : 0) {}

    int32 length() const;

    // Copy out at most size units (the text ends with a terminator at size - 1 at the latest).
    // A size of 0 or less, or a null destination, writes nothing.
    const FixedString16& copyTo(char16* dest, int32 size) const;
    const FixedString16& copyTo8(char8* dest, int32 size) const;

    // Copy in at most n units (all when negative); the text is always terminated.
    FixedString16& assign(const char16* text, int32 n = -1);
    FixedString16& assign(const char8* text, int32 n = -1);
    FixedString16& append(const char16* text, int32 n = -1);

    bool printInt(int64 value);
    void printFloat(int32 precision, double value);
    // The number at the start of the text (after white space); a text that is no number reads as
    // 0. scanFloat reads only finite decimal numbers, as String::scanFloat does. False only for an
    // unusable view.
    bool scanInt(int64& value) const;
    bool scanFloat(double& value) const;

    char16* data() const { return buffer; }
    int32 getCapacity() const { return capacity; }

private:
    bool isUsable() const { return buffer && capacity >= 1; }
    // Copy out at most size units, each converted to the destination's width.
    template <class Out, class Convert>
    void copyOut(Out* dest, int32 size, Convert convert) const;
    // Copy in at most n units, each converted to 16 bits.
    template <class In, class Convert>
    FixedString16& assignConverted(const In* text, int32 n, Convert convert);
    void setFromAscii(const char8* text, int32 count);

    char16* buffer;
    int32 capacity;
};

} // namespace Calvereth
