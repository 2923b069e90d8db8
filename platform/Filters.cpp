#include "platform/Filters.h"

#include <algorithm>
#include <cctype>

namespace karto {

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

struct Entry {
  std::string category;
  TFilterRec rec;
  TFilterKernel kernel;
};

// Filled by whoever provides filters (the imaging module's catalogue).
std::vector<Entry>& Entries() {
  static std::vector<Entry> entries;
  return entries;
}

const Entry* Find(const std::string& name) {
  for (const Entry& e : Entries())
    if (SameText(e.rec.Name, name)) return &e;
  return nullptr;
}

}  // namespace

TFilter::TFilter(const TFilterRec& rec, TFilterKernel kernel) : m_rec(rec), m_kernel(kernel) {
  const size_t n = rec.Values.size();
  m_params.Floats.resize(n);
  m_params.Points.resize(n);
  m_params.Colors.resize(n);
  for (size_t i = 0; i < n; ++i) {
    m_params.Floats[i] = float(rec.Values[i].Default);
    m_params.Points[i] = rec.Values[i].DefaultPoint;
    m_params.Colors[i] = rec.Values[i].DefaultColor;
  }
}

int TFilter::IndexOf(const std::string& name, TShaderValueType type) const {
  for (size_t i = 0; i < m_rec.Values.size(); ++i)
    if (m_rec.Values[i].ValueType == type && SameText(m_rec.Values[i].Name, name)) return int(i);
  return -1;
}

bool TFilter::SetFloat(const std::string& name, float v) {
  const int i = IndexOf(name, TShaderValueType::vtFloat);
  if (i < 0) return false;
  const TShaderValueRec& r = m_rec.Values[size_t(i)];
  if (!(v == v)) v = float(r.Default);  // NaN
  m_params.Floats[size_t(i)] = float(std::clamp(double(v), r.Min, r.Max));
  return true;
}

bool TFilter::SetPoint(const std::string& name, TPointF p) {
  const int i = IndexOf(name, TShaderValueType::vtPoint);
  if (i < 0) return false;
  m_params.Points[size_t(i)] = p;
  return true;
}

bool TFilter::SetColor(const std::string& name, TAlphaColor c) {
  const int i = IndexOf(name, TShaderValueType::vtColor);
  if (i < 0) return false;
  m_params.Colors[size_t(i)] = c;
  return true;
}

float TFilter::Float(const std::string& name) const {
  const int i = IndexOf(name, TShaderValueType::vtFloat);
  return i < 0 ? 0 : m_params.Floats[size_t(i)];
}

TBitmap TFilter::Output() const {
  TBitmap out;
  if (m_input.IsEmpty() || !m_kernel) return out;
  out.SetSize(m_input.Width(), m_input.Height());
  m_kernel(m_params, m_input, m_target, out);
  return out;
}

namespace FilterManager {

const std::vector<std::string>& Categories() {
  static const std::vector<std::string> cats = {"Blur",     "Color",    "Color Adjust", "Composite",
                                                "Distortion", "Generator", "Geometry",   "Style",
                                                "Tiles",    "Transition"};
  return cats;
}

void Register(const std::string& category, const TFilterRec& rec, TFilterKernel kernel) {
  Entries().push_back({category, rec, kernel});
}

std::unique_ptr<TFilter> CreateFilter(const std::string& name) {
  const Entry* e = Find(name);
  if (!e) return nullptr;
  return std::make_unique<TFilter>(e->rec, e->kernel);
}

bool FilterRecByName(const std::string& name, TFilterRec& rec) {
  const Entry* e = Find(name);
  if (!e) return false;
  rec = e->rec;
  return true;
}

std::vector<std::string> FiltersOfCategory(const std::string& category) {
  std::vector<std::string> names;
  for (const Entry& e : Entries())
    if (e.category == category) names.push_back(e.rec.Name);
  return names;
}

}  // namespace FilterManager

}  // namespace karto
