#pragma once
// The object stream: a control and its stored children as text, one
// "Property = Value" a line, nested "object Name: TClass" ... "end" blocks.
// What WriteComponent writes, ReadComponent reads back into the same tree.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/Control.h"

namespace karto {

// A stream that cannot be read; what() names the line and the fault.
class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Creates a control of a class name, or nullptr for an unknown class.
using TControlFactory = std::function<TControl*(TControl* owner)>;
void RegisterControlClass(const std::string& className, TControlFactory factory);
TControl* CreateControlByClassName(const std::string& className, TControl* owner);

// The control and, nested, every child whose Stored flag is true.
std::string WriteComponent(const TControl& control);

// Reads a stream into a new tree; the children are owned by the new root.
// Throws EStreamError and leaves nothing behind when the text is not valid.
std::unique_ptr<TControl> ReadComponent(const std::string& text);

// Reads a stream into an existing control of the same class: its properties
// are set and its children replaced by those of the stream, owned by it. All
// or nothing: on EStreamError the control is unchanged.
void ReadComponentInto(const std::string& text, TControl& root);

}  // namespace karto
