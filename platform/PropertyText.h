#pragma once
// Text forms of property values, shared by the display objects and the
// object stream. Readers are strict: they return false and leave the target
// unchanged when the whole text is not a valid value.

#include <string>

#include "platform/Types.h"

namespace karto::proptext {

std::string Float(float v);            // shortest text that reads back exactly
bool ReadFloat(const std::string& s, float& v);
std::string Int(long long v);
bool ReadInt(const std::string& s, long long& v);
std::string Bool(bool v);              // True / False
bool ReadBool(const std::string& s, bool& v);
std::string Color(TAlphaColor c);      // xFF102030
bool ReadColor(const std::string& s, TAlphaColor& c);
// A single-quoted string; a quote inside is doubled, control characters are
// written as #nn so that one property stays on one line.
std::string Quote(const std::string& s);
bool ReadQuoted(const std::string& s, std::string& out);

}  // namespace karto::proptext
