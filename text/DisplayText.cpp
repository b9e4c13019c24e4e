#include "text/DisplayText.h"

#include "text/Bytes.h"
#include "text/TextConvert.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// Control characters as their pictures: U+2400 + c, DEL as U+2421.
void AppendVisible(std::string& out, std::string_view utf8) {
  bool plain = true;
  for (const char ch : utf8) plain = plain && static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F;
  if (plain) {
    out.append(utf8);
    return;
  }
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20) {
      out += "\xE2\x90";
      out += static_cast<char>(0x80 + c);
    } else if (c == 0x7F) {
      out += "\xE2\x90\xA1";
    } else {
      out += ch;
    }
  }
}

}  // namespace

bool NameCodepage(std::string_view name, Codepage& cp) {
  if (IsValidText(name, Codepage::Utf8)) {
    cp = Codepage::Utf8;
    return true;
  }
  if (IsValidText(name, Codepage::Cp932)) {
    cp = Codepage::Cp932;
    return true;
  }
  return false;
}

std::string DisplayName(std::string_view name) {
  // Nearly every name: shown as it is.
  if (IsPlainText(name)) return std::string(name);
  std::string out;
  out.reserve(name.size());
  Codepage cp = Codepage::Utf8;
  std::string decoded;
  if (NameCodepage(name, cp)) {
    if (cp == Codepage::Utf8) {
      AppendVisible(out, name);
      return out;
    }
    if (ConvertText(name, Codepage::Cp932, Codepage::Utf8, decoded)) {
      AppendVisible(out, decoded);
      return out;
    }
  }
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = Utf8SequenceLength(name, i);
    if (n == 0) {
      out += kReplacementChar;
      ++i;
    } else {
      AppendVisible(out, name.substr(i, n));
      i += n;
    }
  }
  return out;
}

void AppendDisplayPath(std::string& out, std::string_view path) {
  // A plain path is plain in each part: '/' never ends a UTF-8 sequence.
  if (IsPlainText(path)) {
    out.append(path);
    return;
  }
  out += DisplayName(FolderView(path));
  out += DisplayName(FileNameView(path));
}

std::string DisplayPath(std::string_view path) {
  std::string out;
  AppendDisplayPath(out, path);
  return out;
}

}  // namespace quor
