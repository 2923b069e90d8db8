#include "platform/ObjectStream.h"

#include <map>

#include "platform/Shapes.h"

namespace karto {

namespace {

std::map<std::string, TControlFactory>& Registry() {
  static std::map<std::string, TControlFactory> registry = [] {
    std::map<std::string, TControlFactory> r;
    r["TControl"] = [](TControl* o) { return new TControl(o); };
    r["TLayout"] = [](TControl* o) { return new TLayout(o); };
    r["TPaintBox"] = [](TControl* o) { return new TPaintBox(o); };
    r["TPath"] = [](TControl* o) { return new TPath(o); };
    r["TRectangle"] = [](TControl* o) { return new TRectangle(o); };
    r["TEllipse"] = [](TControl* o) { return new TEllipse(o); };
    r["TLine"] = [](TControl* o) { return new TLine(o); };
    r["TText"] = [](TControl* o) { return new TText(o); };
    r["TImage"] = [](TControl* o) { return new TImage(o); };
    return r;
  }();
  return registry;
}

void WriteObject(const TControl& c, int depth, std::string& out) {
  const std::string indent(size_t(depth) * 2, ' ');
  out += indent + "object ";
  if (!c.Name().empty()) out += c.Name() + ": ";
  out += c.ClassName();
  out += '\n';
  std::vector<std::pair<std::string, std::string>> props;
  c.WriteProperties(props);
  for (const auto& [name, value] : props) out += indent + "  " + name + " = " + value + '\n';
  for (const TControl* child : c.ChildList())
    if (child->Stored()) WriteObject(*child, depth + 1, out);
  out += indent + "end\n";
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

[[noreturn]] void Fail(int line, const std::string& what) {
  throw EStreamError("Line " + std::to_string(line) + ": " + what);
}

struct Header {
  std::string name;
  std::string className;
};

bool ParseHeader(const std::string& line, Header& h) {
  if (line.compare(0, 7, "object ") != 0) return false;
  const std::string rest = Trim(line.substr(7));
  const size_t colon = rest.find(':');
  if (colon == std::string::npos) {
    h.name.clear();
    h.className = rest;
  } else {
    h.name = Trim(rest.substr(0, colon));
    h.className = Trim(rest.substr(colon + 1));
  }
  return !h.className.empty();
}

// Reads the body of an object (after its header) up to its "end".
void ReadBody(const std::vector<std::string>& lines, size_t& i, TControl& obj, TControl& owner,
              int depth) {
  constexpr int kMaxDepth = 256;  // a hostile file must not exhaust the stack
  if (depth > kMaxDepth) Fail(int(i), "objects nested too deeply");
  while (i < lines.size()) {
    const std::string line = Trim(lines[i]);
    const int lineNo = int(i) + 1;
    ++i;
    if (line.empty()) continue;
    if (line == "end") return;
    Header h;
    if (ParseHeader(line, h)) {
      TControl* child = CreateControlByClassName(h.className, &owner);
      if (!child) Fail(lineNo, "unknown class " + h.className);
      try {
        child->SetName(h.name);
      } catch (const EComponentError& e) {
        delete child;
        Fail(lineNo, e.what());
      }
      child->SetParent(&obj);
      ReadBody(lines, i, *child, owner, depth + 1);
      continue;
    }
    const size_t eq = line.find(" = ");
    if (eq == std::string::npos) Fail(lineNo, "expected \"Property = Value\"");
    const std::string name = line.substr(0, eq);
    const std::string value = line.substr(eq + 3);
    if (!obj.ReadProperty(name, value))
      Fail(lineNo, "invalid property " + name + " of " + obj.ClassName());
  }
  Fail(int(lines.size()), "missing \"end\"");
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t b = 0;
  while (b <= text.size()) {
    size_t e = text.find('\n', b);
    if (e == std::string::npos) e = text.size();
    lines.push_back(text.substr(b, e - b));
    b = e + 1;
  }
  return lines;
}

}  // namespace

void RegisterControlClass(const std::string& className, TControlFactory factory) {
  Registry()[className] = std::move(factory);
}

TControl* CreateControlByClassName(const std::string& className, TControl* owner) {
  auto it = Registry().find(className);
  return it == Registry().end() ? nullptr : it->second(owner);
}

std::string WriteComponent(const TControl& control) {
  BeginLayerWriting();
  struct TEnd {
    ~TEnd() { EndLayerWriting(); }
  } endLayers;
  std::string out;
  WriteObject(control, 0, out);
  return out;
}

std::unique_ptr<TControl> ReadComponent(const std::string& text) {
  // Controls of one stream that name the same layer share it.
  BeginLayerReading();
  struct TEnd {
    ~TEnd() { EndLayerReading(); }
  } endLayers;
  const std::vector<std::string> lines = SplitLines(text);
  size_t i = 0;
  while (i < lines.size() && Trim(lines[i]).empty()) ++i;
  Header h;
  if (i >= lines.size() || !ParseHeader(Trim(lines[i]), h)) Fail(int(i) + 1, "expected \"object\"");
  std::unique_ptr<TControl> root(CreateControlByClassName(h.className, nullptr));
  if (!root) Fail(int(i) + 1, "unknown class " + h.className);
  try {
    root->SetName(h.name);
  } catch (const EComponentError& e) {
    Fail(int(i) + 1, e.what());
  }
  ++i;
  ReadBody(lines, i, *root, *root, 0);
  for (; i < lines.size(); ++i)
    if (!Trim(lines[i]).empty()) Fail(int(i) + 1, "text after the last \"end\"");
  return root;
}

void ReadComponentInto(const std::string& text, TControl& root) {
  std::unique_ptr<TControl> tmp = ReadComponent(text);
  if (std::string(tmp->ClassName()) != root.ClassName())
    throw EStreamError(std::string("The stream holds a ") + tmp->ClassName() + ", not a " +
                       root.ClassName());
  // Properties: written by one, read by the other.
  std::vector<std::pair<std::string, std::string>> props;
  tmp->WriteProperties(props);
  for (const auto& [name, value] : props) root.ReadProperty(name, value);
  root.DeleteChildren();
  // Hand the children over in order; names were unique in the stream, and
  // the old children that could clash are gone.
  std::vector<TControl*> kids = tmp->ChildList();
  for (TControl* c : kids) {
    c->SetParent(nullptr);
  }
  std::vector<TControl*> owned;
  for (int k = 0; k < tmp->ComponentCount(); ++k) owned.push_back(tmp->Components(k));
  for (TControl* c : owned) {
    const std::string name = c->Name();
    c->SetName("");
    c->SetOwner(&root);
    try {
      c->SetName(name);
    } catch (const EComponentError&) {
      // A surviving owned component of the root keeps the name; the new
      // child stays unnamed rather than failing the whole load.
    }
  }
  for (TControl* c : kids) c->SetParent(&root);
  root.Repaint();
}

}  // namespace karto
