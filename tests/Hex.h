#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace quor::test {

// Bytes as hex, for failure messages where bytes matter.
inline std::string Hex(std::string_view s) {
  std::string out;
  char buf[4];
  for (const unsigned char c : s) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return "[" + out + "]";
}

}  // namespace quor::test
