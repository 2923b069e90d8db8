#pragma once
// The filter engine: filters registered under a category, created by name
// (ignoring letter case), each described by a TFilterRec. Parameters are set
// by name; the bitmap values "Input" and "Target" are the pictures, and
// Output() is the result, the size of "Input".

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Types.h"

namespace karto {

enum class TShaderValueType { vtFloat, vtPoint, vtColor, vtBitmap };

// One parameter. Numbers use Value/Min/Max/Default (doubles, so that a
// range such as 0.6 ... 10 reaches the controls exactly as written); a point
// keeps its default in DefaultPoint and a colour in DefaultColor.
struct TShaderValueRec {
  std::string Name;
  std::string Desc;
  TShaderValueType ValueType = TShaderValueType::vtFloat;
  double Value = 0;
  double Min = 0;
  double Max = 0;
  double Default = 0;
  TPointF DefaultPoint;
  TAlphaColor DefaultColor = 0;
};

struct TFilterRec {
  std::string Name;
  std::string Desc;
  std::vector<TShaderValueRec> Values;
};

// The parameter values a kernel runs with, by the index of TFilterRec::Values.
struct TFilterParams {
  std::vector<float> Floats;
  std::vector<TPointF> Points;
  std::vector<TAlphaColor> Colors;
};

// A kernel: reads input (and target for transitions), writes output, which
// has the size of input.
using TFilterKernel = void (*)(const TFilterParams& params, const TBitmap& input,
                               const TBitmap& target, TBitmap& output);

class TFilter {
 public:
  TFilter(const TFilterRec& rec, TFilterKernel kernel);

  const TFilterRec& FilterRec() const { return m_rec; }
  // Set a parameter by its name (ignoring case); false when the filter has
  // no such parameter of that kind. Numbers are clamped to the range.
  bool SetFloat(const std::string& name, float v);
  bool SetPoint(const std::string& name, TPointF p);
  bool SetColor(const std::string& name, TAlphaColor c);
  float Float(const std::string& name) const;
  // The bitmap values "Input" and "Target" (copies are cheap: shared pixels).
  void SetInput(const TBitmap& b) { m_input = b; }
  void SetTarget(const TBitmap& b) { m_target = b; }
  // The filtered picture, the size of "Input"; empty when Input is empty.
  TBitmap Output() const;

 private:
  int IndexOf(const std::string& name, TShaderValueType type) const;
  TFilterRec m_rec;
  TFilterKernel m_kernel;
  TFilterParams m_params;
  TBitmap m_input;
  TBitmap m_target;
};

// The registry.
namespace FilterManager {
// The category names the catalogue offers, in order.
const std::vector<std::string>& Categories();
void Register(const std::string& category, const TFilterRec& rec, TFilterKernel kernel);
// A new filter, or nullptr for an unknown name.
std::unique_ptr<TFilter> CreateFilter(const std::string& name);
// The description of a filter; false for an unknown name.
bool FilterRecByName(const std::string& name, TFilterRec& rec);
// Names registered under a category (compared exactly), in registration order.
std::vector<std::string> FiltersOfCategory(const std::string& category);
}  // namespace FilterManager

}  // namespace karto
