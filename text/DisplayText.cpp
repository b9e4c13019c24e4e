#include "text/DisplayText.h"

#include "text/Bytes.h"
#include "text/TextConvert.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// Control characters as their pictures: U+2400 + c, DEL as U+2421. The C1
// controls and the line and paragraph separators, which have no picture and
// which some viewers break lines at, as their code points: "<U+0085>".
void AppendVisible(std::string& out, std::string_view utf8) {
  if (IsPlainText(utf8)) {
    out.append(utf8);
    return;
  }
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const auto next = [&](std::size_t k) { return i + k < utf8.size() ? static_cast<unsigned char>(utf8[i + k]) : 0; };
    if (c < 0x20) {
      out += "\xE2\x90";
      out += static_cast<char>(0x80 + c);
      ++i;
    } else if (c == 0x7F) {
      out += "\xE2\x90\xA1";
      ++i;
    } else if (c == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "<U+00";
      out += kHex[next(1) >> 4];
      out += kHex[next(1) & 15];
      out += '>';
      i += 2;
    } else if (c == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {
      out += next(2) == 0xA8 ? "<U+2028>" : "<U+2029>";
      i += 3;
    } else {
      out += static_cast<char>(c);
      ++i;
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
  // The lines of a run name one folder after another: its path, once found
  // plain, needs no second look.
  thread_local std::string plainFolder;
  const std::string_view name = NameInFolder(path, plainFolder);
  if (!name.empty() && IsPlainText(name)) {
    out.append(path);
    return;
  }
  // A plain path is plain in each part: '/' never ends a UTF-8 sequence.
  if (IsPlainText(path)) {
    out.append(path);
    plainFolder = ContainingFolder(path);
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
