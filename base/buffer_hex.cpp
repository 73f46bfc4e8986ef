// The hexadecimal text form needs the string class, which lives in its own unit.
#include "base/buffer.h"

#if __has_include("base/fstring.h")
#include "base/fstring.h"

#include <string>

namespace Calvereth {

bool Buffer::toHexString(String& result) const {
  if (!data || memSize == 0) return false;
  static const char8 kDigits[] = "0123456789ABCDEF";
  std::string text(static_cast<size_t>(memSize) * 2, '\0');
  for (uint32 i = 0; i < memSize; ++i) {
    text[2 * i] = kDigits[data[i] >> 4];
    text[2 * i + 1] = kDigits[data[i] & 15];
  }
  result.assign(text.c_str());
  return true;
}

}  // namespace Calvereth
#endif
