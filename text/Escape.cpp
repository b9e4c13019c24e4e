#include "text/Escape.h"

#include "text/Bytes.h"
#include "text/Codepage.h"

namespace quor {

namespace {

constexpr std::string_view kMarker = "\\esc:";

// Bytes from `i` that the escape writes as "\xHH": a control character, a C1
// control, U+2028/U+2029, or a byte that is no part of valid UTF-8. `n` gets
// the length of the character there, so that a scan reads each byte once.
std::size_t EscapedLength(std::string_view v, std::size_t i, std::size_t& n) {
  const auto b = static_cast<unsigned char>(v[i]);
  if (b < 0x80) {
    n = 1;
    return b < 0x20 || b == 0x7F ? 1 : 0;
  }
  n = Utf8SequenceLength(v, i);
  if (n == 0) {
    n = 1;
    return 1;  // not part of a valid sequence
  }
  const auto b1 = static_cast<unsigned char>(v[i + 1]);
  if (b == 0xC2 && b1 < 0xA0) return 2;                                          // U+0080-009F
  if (b == 0xE2 && b1 == 0x80 && (v[i + 2] == '\xA8' || v[i + 2] == '\xA9')) return 3;  // U+2028/9
  return 0;
}

bool NeedsEscape(std::string_view v) { return v.starts_with(kMarker) || !IsPlainText(v); }

}  // namespace

std::string EscapeLineValue(std::string_view value) {
  std::string out;
  AppendEscapedLineValue(out, value);
  return out;
}

void AppendEscapedLineValue(std::string& out, std::string_view value) {
  if (!NeedsEscape(value)) {
    out.append(value);
    return;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.append(kMarker);
  for (std::size_t i = 0, n = 0; i < value.size();) {
    const std::size_t escaped = EscapedLength(value, i, n);
    if (escaped > 0) {
      for (std::size_t k = 0; k < escaped; ++k) {
        const auto b = static_cast<unsigned char>(value[i + k]);
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
      }
      i += escaped;
      continue;
    }
    if (value[i] == '\\') out += '\\';
    out.append(value.substr(i, n));
    i += n;
  }
}

std::string UnescapeLineValue(std::string_view text) {
  if (!text.starts_with(kMarker)) return std::string(text);
  text.remove_prefix(kMarker.size());
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      if (text[i + 1] == '\\') {
        out += '\\';
        ++i;
        continue;
      }
      if (text[i + 1] == 'x' && i + 3 < text.size() && HexDigitValue(text[i + 2]) >= 0 &&
          HexDigitValue(text[i + 3]) >= 0) {
        out += static_cast<char>(HexDigitValue(text[i + 2]) * 16 + HexDigitValue(text[i + 3]));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace quor
