#include "svg/SVGProperties.h"

#include "svg/SVGParse.h"

namespace karto {

void ReadLengthAttr(const TXmlNode& node, std::string_view name, float& value) {
  const std::string_view text = node.GetAttribute(name);
  if (!text.empty()) value = LengthToUserUnits(text);
}

void ReadStringAttr(const TXmlNode& node, std::string_view name, std::string& value) {
  const std::string_view text = node.GetAttribute(name);
  if (!text.empty()) value = text;
}

void ReadTransformAttr(const TXmlNode& node, std::string_view name, TMatrix& value) {
  const std::string_view text = node.GetAttribute(name);
  if (!text.empty()) value = TransformListToMatrix(text);
}

void ReadPercentAttr(const TXmlNode& node, std::string_view name, float& value) {
  const std::string_view text = node.GetAttribute(name);
  if (!text.empty()) value = ReadPercentValue(text);
}

void ReadDisplayAttr(const TXmlNode& node, int& value) {
  const std::string_view text = node.GetAttribute("display");
  if (text.empty()) return;
  value = text == "inherit" ? kInheritState : text == "none" ? kHiddenState : kShownState;
}

void ReadVisibilityAttr(const TXmlNode& node, int& value) {
  const std::string_view text = node.GetAttribute("visibility");
  if (text.empty()) return;
  value = text == "inherit" ? kInheritState : text == "visible" ? kShownState : kHiddenState;
}

void ReadGradientUnitsAttr(const TXmlNode& node, TGradientUnits& value) {
  value = guObjectBoundingBox;
  if (node.GetAttribute("gradientUnits") == "userSpaceOnUse") value = guUserSpaceOnUse;
}

}  // namespace karto
