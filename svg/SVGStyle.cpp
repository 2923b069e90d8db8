#include "svg/SVGStyle.h"

#include <algorithm>

#include "svg/SVGCommon.h"

namespace karto {

namespace {

const std::string kEmpty;

// The position just after the string that starts with the quote at s[i]: past
// its closing quote, or at an unescaped line break (where CSS ends a broken
// string), or at the end. A backslash escapes the next character.
size_t SkipCssString(std::string_view s, size_t i) {
  const char quote = s[i++];
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\\') {
      i += 2;
      continue;
    }
    if (c == '\n' || c == '\r') return i;
    ++i;
    if (c == quote) return i;
  }
  return s.size();
}

// The sheet without its /* comments */; an unclosed comment runs to the end.
std::string RemoveCssComments(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '"' || c == '\'') {
      const size_t end = std::min(SkipCssString(s, i), s.size());
      out.append(s.substr(i, end - i));
      i = end;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const size_t end = s.find("*/", i + 2);
      if (end == std::string_view::npos) break;
      i = end + 2;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

// The "}" that closes the "{" at s[open], counting nested pairs; npos when
// it is missing.
size_t MatchingBrace(std::string_view s, size_t open) {
  size_t depth = 0;
  for (size_t i = open; i < s.size();) {
    const char c = s[i];
    if (c == '"' || c == '\'') {
      i = SkipCssString(s, i);
      continue;
    }
    if (c == '{') ++depth;
    if (c == '}' && --depth == 0) return i;
    ++i;
  }
  return std::string_view::npos;
}

// The bytes a copy of style holds, roughly: strings plus bookkeeping.
size_t StyleSize(const TStyle& style) {
  size_t size = 64;
  for (int i = 0; i < style.Count(); ++i) size += 64 + style.GetKey(i).size() + style.GetValue(i).size();
  return size;
}

}  // namespace

// --- TStyle ------------------------------------------------------------------------

std::string_view TStyle::StripQuotes(std::string_view value) {
  if (!value.empty() && (value.front() == '\'' || value.front() == '"') && value.back() == value.front())
    return value.size() >= 2 ? value.substr(1, value.size() - 2) : std::string_view();
  return value;
}

int TStyle::IndexOf(std::string_view key) const {
  for (size_t i = 0; i < m_values.size(); ++i)
    if (m_values[i].first == key) return int(i);
  return -1;
}

int TStyle::AddStyle(std::string_view key, std::string_view value) {
  const int index = IndexOf(key);
  if (index >= 0) {
    PutValue(index, value);
    return index;
  }
  if (Count() >= kMaxDeclarations) return -1;
  m_values.emplace_back(std::string(key), std::string(StripQuotes(value)));
  return Count() - 1;
}

const std::string& TStyle::Get(std::string_view key) const {
  const int index = IndexOf(key);
  return index >= 0 ? m_values[size_t(index)].second : kEmpty;
}

const std::string& TStyle::GetValue(int index) const {
  return index >= 0 && index < Count() ? m_values[size_t(index)].second : kEmpty;
}

const std::string& TStyle::GetKey(int index) const {
  return index >= 0 && index < Count() ? m_values[size_t(index)].first : kEmpty;
}

void TStyle::PutValue(int index, std::string_view value) {
  if (index < 0 || index >= Count()) return;
  const std::string_view stripped = StripQuotes(value);
  if (stripped.empty()) {
    m_values.erase(m_values.begin() + index);
  } else {
    m_values[size_t(index)].second.assign(stripped);
  }
}

void TStyle::PutKey(int index, std::string_view key) {
  if (index >= 0 && index < Count()) m_values[size_t(index)].first.assign(key);
}

void TStyle::Delete(int index) {
  if (index >= 0 && index < Count()) m_values.erase(m_values.begin() + index);
}

int TStyle::Remove(std::string_view key) {
  const int index = IndexOf(key);
  Delete(index);
  return index;
}

void TStyle::SetValues(std::string_view text) {
  std::string_view rest = TrimBlanks(text);
  while (!rest.empty()) {
    const std::string_view declaration = ReadUntil(rest, ';');
    SkipChar(rest, ';');
    rest = TrimBlanks(rest);
    const size_t colon = declaration.find(':');
    if (colon == std::string_view::npos) continue;
    AddStyle(TrimBlanks(declaration.substr(0, colon)), TrimBlanks(declaration.substr(colon + 1)));
  }
}

// --- TStyleList --------------------------------------------------------------------

void TStyleList::Clear() {
  m_list.clear();
  InvalidateIndex();
}

std::unique_ptr<TStyleList> TStyleList::Clone() const {
  auto copy = std::make_unique<TStyleList>();
  for (const auto& s : m_list) copy->Add(s->Clone());
  return copy;
}

int TStyleList::Add(std::unique_ptr<TStyle> style) {
  m_list.push_back(std::move(style));
  const int index = Count() - 1;
  if (m_indexValid) m_index.emplace(m_list.back()->Name(), index);  // the first of a name stays
  return index;
}

int TStyleList::Add(std::string_view name, std::string_view values) {
  auto style = std::make_unique<TStyle>(std::string(name));
  style->SetValues(values);
  return Add(std::move(style));
}

int TStyleList::Add(std::string_view sheet) {
  const std::string text = RemoveCssComments(sheet);
  const std::string_view s = text;
  size_t budget = kMaxSheetExpansion * sheet.size() + kSheetExpansionAllowance;
  int last = -1;
  size_t i = 0;
  while (i < s.size()) {
    if (IsBlankChar(s[i]) || s[i] == ';' || s[i] == '}') {  // stray ";" and "}" are skipped
      ++i;
      continue;
    }
    // The markers that once hid style sheets from old browsers.
    if (StartsWith(s.substr(i), "<!--")) {
      i += 4;
      continue;
    }
    if (StartsWith(s.substr(i), "-->")) {
      i += 3;
      continue;
    }
    // The prelude runs to "{"; an at-rule without a block ends at ";".
    const bool atRule = s[i] == '@';
    const size_t start = i;
    size_t j = i;
    while (j < s.size() && s[j] != '{' && !(atRule && s[j] == ';') && s[j] != '}') {
      if (s[j] == '"' || s[j] == '\'')
        j = SkipCssString(s, j);
      else
        ++j;
    }
    if (j >= s.size()) break;
    if (s[j] != '{') {  // an at-rule statement, or junk before a stray "}"
      i = j + 1;
      continue;
    }
    const size_t close = MatchingBrace(s, j);
    if (close == std::string_view::npos) break;
    i = close + 1;
    if (atRule) continue;

    TStyle declarations;
    declarations.SetValues(s.substr(j + 1, close - j - 1));
    const size_t cost = StyleSize(declarations);
    std::string_view selectors = s.substr(start, j - start);
    while (!selectors.empty()) {
      const std::string_view selector = TrimBlanks(ReadUntil(selectors, ','));
      SkipChar(selectors, ',');
      if (selector.empty()) continue;
      if (cost > budget) return last;
      budget -= cost;
      auto style = std::make_unique<TStyle>(std::string(selector));
      style->m_values = declarations.m_values;
      last = Add(std::move(style));
    }
  }
  return last;
}

bool TStyleList::Insert(int index, std::unique_ptr<TStyle>&& style) {
  if (!IsValid(index)) return false;
  m_list.insert(m_list.begin() + index, std::move(style));
  InvalidateIndex();
  return true;
}

bool TStyleList::Insert(int index, std::string_view name, std::string_view values) {
  if (!IsValid(index)) return false;
  auto style = std::make_unique<TStyle>(std::string(name));
  style->SetValues(values);
  return Insert(index, std::move(style));
}

TStyle* TStyleList::Get(int index) const { return IsValid(index) ? m_list[size_t(index)].get() : nullptr; }

bool TStyleList::Put(int index, std::unique_ptr<TStyle>&& style) {
  if (!IsValid(index)) return false;
  m_list[size_t(index)] = std::move(style);
  InvalidateIndex();
  return true;
}

void TStyleList::Delete(int index) {
  if (!IsValid(index)) return;
  m_list.erase(m_list.begin() + index);
  InvalidateIndex();
}

int TStyleList::Remove(const TStyle* style) {
  const int index = IndexOf(style);
  Delete(index);
  return index;
}

void TStyleList::Exchange(int index1, int index2) {
  if (!IsValid(index1) || !IsValid(index2)) return;
  std::swap(m_list[size_t(index1)], m_list[size_t(index2)]);
  InvalidateIndex();
}

void TStyleList::Move(int curIndex, int newIndex) {
  if (!IsValid(curIndex) || !IsValid(newIndex) || curIndex == newIndex) return;
  std::unique_ptr<TStyle> style = std::move(m_list[size_t(curIndex)]);
  m_list.erase(m_list.begin() + curIndex);
  m_list.insert(m_list.begin() + newIndex, std::move(style));
  InvalidateIndex();
}

int TStyleList::IndexOf(const TStyle* style) const {
  for (size_t i = 0; i < m_list.size(); ++i)
    if (m_list[i].get() == style) return int(i);
  return -1;
}

TStyle* TStyleList::GetStyle(std::string_view name) const {
  if (!m_indexValid) {
    m_index.clear();
    for (size_t i = 0; i < m_list.size(); ++i) m_index.emplace(m_list[i]->Name(), int(i));
    m_indexValid = true;
  }
  const auto it = m_index.find(name);
  return it == m_index.end() ? nullptr : m_list[size_t(it->second)].get();
}

}  // namespace karto
