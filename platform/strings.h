#pragma once
// Text services standing in for the system's string library: code-page conversion, case
// mapping, normalisation, number reading, 16-bit formatting and reference-counted string handles.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Platform {

// Text encodings by their published platform values.
enum Encoding : uint32_t
{
    kEncodingMacRoman = 0,
    kEncodingMacCentralEurRoman = 29,
    kEncodingUnicode = 0x100, // UTF-16, host byte order
    kEncodingWindowsLatin1 = 0x500,
    kEncodingASCII = 0x600,
    kEncodingDOSJapanese = 0x628, // Shift-JIS as code page 932
    kEncodingUTF8 = 0x08000100,
    kEncodingInvalid = 0xFFFFFFFFu
};

// Platform encoding of a code page number (0 and 2 Mac OS Roman, 932, 1252, 10029, 65001;
// anything else ASCII).
uint32_t encodingForCodePage(uint32_t codePage);

// Bytes in an encoding to UTF-16. False when a byte sequence is not valid in the encoding, or when
// memory runs out. Nothing here throws.
bool decode(const void* bytes, size_t size, uint32_t encoding, std::u16string& out);

// UTF-16 to bytes in an encoding, one character (code point) at a time, as long as the whole
// character fits into `capacity` bytes. A character the encoding lacks becomes `lossByte`, or
// ends the conversion when `lossByte` is 0. With a null destination only counts. Returns the
// number of 16-bit units converted; *usedBytes gets the bytes produced.
size_t encode(const char16_t* units, size_t count, uint32_t encoding, uint8_t lossByte, void* dest, size_t capacity,
              size_t* usedBytes);

// Upper bound of the bytes that `units` UTF-16 units take in an encoding.
size_t maxSizeForEncoding(size_t units, uint32_t encoding);

// One unit mapped through a one-character string; unchanged when the mapping is not one unit.
char16_t toUpperUnit(char16_t c);
char16_t toLowerUnit(char16_t c);

// Character classes for characters of any range.
bool isAlpha(uint32_t c);
bool isDigit(uint32_t c);
bool isSpace(uint32_t c);

// Case-insensitive comparison: -1, 0 or 1.
int compareCaseInsensitive(const char16_t* a, size_t aCount, const char16_t* b, size_t bCount);

// Normalisation forms by their platform values.
enum NormalizationForm
{
    kFormD = 0,
    kFormKD = 1,
    kFormC = 2,
    kFormKC = 3
};
bool normalize(std::u16string& text, NormalizationForm form);
bool isNormalized(const char16_t* text, size_t count, NormalizationForm form);

// Leading white space skipped, optional sign, decimal digits; 0 when no number; clamped to 32 bits.
int32_t intValue(const char16_t* text, size_t count);
// The one strict reader of decimal numbers: the finite number that starts right at `text`,
// read in the C locale whatever locale is set. An optional sign, digits with an optional
// fraction after '.' (at least one digit in all), and an exponent taken only with its digits.
// No infinities, NaNs or hexadecimal numbers ("0x" reads as none), and a number beyond the
// double range is none. Reads at most `count` characters, stopping at a 0. The number of
// characters read, with `value` set; 0 with `value` untouched when no such number starts there.
size_t readDecimal(const char* text, size_t count, double& value);
// Leading white space skipped, then readDecimal over the text; 0.0 when no number.
double doubleValue(const char16_t* text, size_t count);

// Numbers as text in the C locale, whatever locale the process or thread has set: vsnprintf and
// sscanf of an 8-bit format. formatC answers as vsnprintf (the length the whole output needs,
// negative on failure); scanC is true when the format converted one value into `value`.
int formatC(char* dest, size_t size, const char* format, ...);
int formatCV(char* dest, size_t size, const char* format, va_list args);
bool scanC(const char* text, const char* format, void* value);

// printf-style formatting of a 16-bit format: %S takes a 16-bit text, %C a 16-bit character,
// %s an 8-bit text (Mac OS Roman), %c an 8-bit character; numbers as the C library formats them.
// False (out untouched) for a conversion it does not know, or when memory runs out.
bool formatV(const char16_t* format, va_list args, std::u16string& out);

// Reference-counted string handle, created with one reference. Out of memory the makers answer
// null and the appenders false.
struct StringObject;
using StringRef = StringObject*;

StringRef createString(const char16_t* units, size_t count);
StringRef createStringWithBytes(const void* bytes, size_t size, uint32_t encoding); // null on failure
StringRef createMutableString();
bool appendCharacters(StringRef string, const char16_t* units, size_t count);
bool appendBytes(StringRef string, const void* bytes, size_t size, uint32_t encoding);
bool isMutable(StringRef string);
size_t getLength(StringRef string);
const char16_t* getCharacters(StringRef string);                // valid while the handle lives and is unchanged
bool normalizeString(StringRef string, NormalizationForm form); // mutable strings only
StringRef retain(StringRef string);
void release(StringRef string);
int32_t retainCount(StringRef string);

} // namespace Platform
