#include "text/CommaText.h"

#include "text/Bytes.h"

namespace quor {

namespace {

bool NeedsQuotes(std::string_view item) {
  for (const char c : item) {
    const auto b = static_cast<unsigned char>(c);
    if (IsBlankByte(c) || b == 0x7F || c == ',' || c == '"') return true;
  }
  return false;
}

}  // namespace

std::string ToCommaText(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    const std::string& item = items[i];
    if (!NeedsQuotes(item)) {
      out += item;
      continue;
    }
    out += '"';
    for (const char c : item) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

std::vector<std::string> FromCommaText(std::string_view text) {
  std::vector<std::string> items;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlankByte(text[i])) ++i;
  if (i == n) return items;
  for (;;) {
    std::string item;
    if (i < n && text[i] == '"') {
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
      // Whatever follows the closing quote up to the comma is dropped.
      while (i < n && text[i] != ',') ++i;
    } else {
      const std::size_t start = i;
      while (i < n && text[i] != ',') ++i;
      std::size_t end = i;
      while (end > start && IsBlankByte(text[end - 1])) --end;
      item.assign(text.substr(start, end - start));
    }
    items.push_back(std::move(item));
    if (i >= n) break;
    ++i;  // the comma
    while (i < n && IsBlankByte(text[i])) ++i;
  }
  return items;
}

}  // namespace quor
