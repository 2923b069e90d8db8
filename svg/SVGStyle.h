#pragma once
// CSS declaration blocks (TStyle) and style sheets (TStyleList).
//
// Keys, values and selector names are plain strings, compared exactly (case
// kept, nothing trimmed); nothing here knows a property name. Invalid
// positions are ignored or give empty results; no operation throws for bad
// text.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace karto {

// An ordered set of declarations (key, value), each key at most once, in the
// order of first insertion, with the selector name of the block when it
// belongs to a style sheet (empty for an element's own style).
class TStyle {
 public:
  // Keys are found by a linear search and removed from an array, which is
  // cheap for the few dozen declarations of a real element; a hostile
  // "style" attribute with many thousand keys would make every further
  // declaration slow. Past this count new keys are dropped (existing keys
  // can still change).
  static constexpr int kMaxDeclarations = 256;

  explicit TStyle(std::string name = {}) : m_name(std::move(name)) {}
  TStyle(const TStyle&) = default;
  // A style keeps its name for life (a style sheet indexes it by name).
  TStyle& operator=(const TStyle&) = delete;

  const std::string& Name() const { return m_name; }
  int Count() const { return int(m_values.size()); }

  // Removes all declarations; the name stays.
  void Clear() { m_values.clear(); }
  std::unique_ptr<TStyle> Clone() const { return std::make_unique<TStyle>(*this); }

  // Position of the key, or -1.
  int IndexOf(std::string_view key) const;
  // A new key is appended with its value unquoted (one pair of enclosing
  // single or double quotes removed), also when that is empty; an existing
  // key gets PutValue. Returns the key's position (its former one when
  // PutValue removed it), or -1 when a new key would pass kMaxDeclarations.
  int AddStyle(std::string_view key, std::string_view value);
  int Put(std::string_view key, std::string_view value) { return AddStyle(key, value); }
  // The value of the key; the empty string when the key is absent (IndexOf
  // tells that from an empty value).
  const std::string& Get(std::string_view key) const;

  // Value and key at a position; the empty string outside 0 .. Count()-1.
  const std::string& GetValue(int index) const;
  const std::string& GetKey(int index) const;
  // Replaces the value by its unquoted form; an empty result removes the
  // declaration instead (later ones move up).
  void PutValue(int index, std::string_view value);
  void PutKey(int index, std::string_view key);
  void Delete(int index);
  // Removes the key; returns its former position or -1.
  int Remove(std::string_view key);

  // Merges a declaration text such as "fill:red; stroke : blue": pieces are
  // cut at every ";" (quotes do not protect it), a piece without ":" is
  // skipped, key and value are trimmed, and each goes through AddStyle, so a
  // later declaration of a key wins and an empty value removes the key.
  void SetValues(std::string_view text);

 private:
  friend class TStyleList;
  // Without one pair of enclosing single or double quotes.
  static std::string_view StripQuotes(std::string_view value);

  std::string m_name;
  std::vector<std::pair<std::string, std::string>> m_values;
};

// A style sheet: styles in order, owned.
class TStyleList {
 public:
  TStyleList() = default;
  TStyleList(const TStyleList&) = delete;
  TStyleList& operator=(const TStyleList&) = delete;

  int Count() const { return int(m_list.size()); }
  void Clear();
  std::unique_ptr<TStyleList> Clone() const;

  // Appends the style and returns its position.
  int Add(std::unique_ptr<TStyle> style);
  // Appends a style named name with SetValues(values); returns its position.
  int Add(std::string_view name, std::string_view values);
  // Parses a whole style sheet: comments are removed, every
  // "selectors { declarations }" gives one style per selector of its
  // comma-separated group, wherever the braces and line breaks stand. Quoted
  // strings hide braces and comment marks. At-rules ("@import ...;",
  // "@media ... { ... }") are skipped whole; a block whose "}" is missing
  // adds nothing. Returns the position of the last style appended, or -1.
  int Add(std::string_view sheet);

  // A sheet's grouped selectors copy its declarations once per selector.
  // Copies stop (further selectors are dropped) once they would hold more
  // than this many times the sheet's size, so a hostile group cannot blow
  // a small file up into gigabytes.
  static constexpr size_t kMaxSheetExpansion = 16;
  // ... plus this many bytes, so that small sheets are never cut.
  static constexpr size_t kSheetExpansionAllowance = 1 << 20;

  // Insert before the style at index, only for 0 <= index < Count(). On
  // success the list takes the style and the result is true; otherwise
  // nothing happens and the caller keeps it.
  bool Insert(int index, std::unique_ptr<TStyle>&& style);
  bool Insert(int index, std::string_view name, std::string_view values);

  // The style at a position, or null.
  TStyle* Get(int index) const;
  // Replaces (and frees) the style at a valid position; elsewhere the caller
  // keeps style.
  bool Put(int index, std::unique_ptr<TStyle>&& style);
  void Delete(int index);
  // Finds the style by identity, frees it and returns its former position,
  // or -1.
  int Remove(const TStyle* style);
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  int IndexOf(const TStyle* style) const;

  // The first style named exactly name, or null. Constant time on average:
  // an index by name is kept up to date by Add and rebuilt after any other
  // change.
  TStyle* GetStyle(std::string_view name) const;

 private:
  bool IsValid(int index) const { return index >= 0 && index < Count(); }
  void InvalidateIndex() { m_indexValid = false; }

  std::vector<std::unique_ptr<TStyle>> m_list;
  // Name to first position; names point into the styles, which never rename.
  mutable std::unordered_map<std::string_view, int> m_index;
  mutable bool m_indexValid = false;
};

}  // namespace karto
