#pragma once
// The host's attribute container: tagged values by attribute id, through which a string is
// stored and read back (String::toAttributes, String::fromAttributes).
#include "base/funknown.h"
#include "base/variantvalue.h"

namespace Calvereth {

class IAttributeStore : public FUnknown
{
public:
    // 3: stores the value under the id (the store makes its own copy); 0 on success.
    virtual tresult set(const char8* id, const VariantValue& value) = 0;
    // 4, 5: further operations of the host's container, which this system neither calls nor needs.
    virtual tresult unusedSlot4() { return kNotImplemented; }
    virtual tresult unusedSlot5() { return kNotImplemented; }
    // 6: the value stored under the id into `value`; 0 on success.
    virtual tresult get(const char8* id, VariantValue& value) = 0;
};

} // namespace Calvereth
