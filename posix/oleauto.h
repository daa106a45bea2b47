// BSTR strings: length-prefixed UTF-16 blocks that the archive interfaces
// and the property values hand between the program and its components.
// A BSTR points 4 bytes into a malloc block, at its text; the 32-bit value
// before it is the text's length in bytes (2 per unit, without the
// terminator), and a 0 unit follows the text.
#pragma once

#include "combaseapi.h"

typedef OLECHAR* BSTR;

// Allocates a BSTR of units text units: 4 + 2 * units + 2 bytes with malloc,
// the byte length 2 * units in front, the units copied from text (zeros when
// text is null) and a 0 unit after them. Returns the BSTR, or null when the
// memory is short or 2 * units does not fit the 32-bit length (units above
// 0x7FFFFFFF). The caller frees it with SysFreeString.
BSTR SysAllocStringLen(const OLECHAR* text, UINT units);

// SysAllocStringLen with the length of the 0-terminated text; null for a
// null text.
BSTR SysAllocString(const OLECHAR* text);

// Frees the whole block of a BSTR (from 4 bytes before the text); nothing for
// null. Strings built the same way by a component (malloc, 32-bit prefix)
// are freed the same way.
void SysFreeString(BSTR bstr);
