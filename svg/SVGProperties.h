#pragma once
// Attribute readers: each reads one attribute of an XML node and, when it is
// present and not empty, stores the converted value into the caller's
// variable. A missing or empty attribute leaves the variable as it was; the
// one exception is ReadGradientUnitsAttr, which always resets first.
// Keywords are compared with their exact case.

#include <string>
#include <string_view>

#include "platform/Matrix.h"
#include "svg/SVGTypes.h"
#include "xml/XmlDoc.h"

namespace karto {

// LengthToUserUnits of the value.
void ReadLengthAttr(const TXmlNode& node, std::string_view name, float& value);
// The text itself.
void ReadStringAttr(const TXmlNode& node, std::string_view name, std::string& value);
// TransformListToMatrix of the value; the whole matrix is replaced, also by
// TMatrix::Zero() when the text held no valid transform.
void ReadTransformAttr(const TXmlNode& node, std::string_view name, TMatrix& value);
// ReadPercentValue of the value.
void ReadPercentAttr(const TXmlNode& node, std::string_view name, float& value);
// "display": "inherit" gives kInheritState, "none" kHiddenState, anything
// else kShownState.
void ReadDisplayAttr(const TXmlNode& node, int& value);
// "visibility": "inherit" gives kInheritState, "visible" kShownState,
// anything else kHiddenState.
void ReadVisibilityAttr(const TXmlNode& node, int& value);
// "gradientUnits": guObjectBoundingBox unless the value is "userSpaceOnUse".
void ReadGradientUnitsAttr(const TXmlNode& node, TGradientUnits& value);

}  // namespace karto
