#pragma once
// What every fuzz entry point shares: the input as text, and a check that
// stops the run (so that libFuzzer keeps the input) when a promise of the
// code under test does not hold.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace karto::fuzz {

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

[[noreturn]] inline void Fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "broken promise: %s %.*s\n", what, int(detail.size()), detail.data());
  std::abort();
}

inline void Check(bool ok, const char* what, std::string_view detail = {}) {
  if (!ok) Fail(what, detail);
}

}  // namespace karto::fuzz
