#include "platform/TextConvert.h"

#include <iconv.h>

#include <cerrno>

namespace quor {

namespace {

const char* IconvName(Codepage cp) { return cp == Codepage::Cp932 ? "CP932" : "UTF-8"; }

// Owns an iconv descriptor for the length of one conversion.
class Converter {
 public:
  Converter(Codepage from, Codepage to) : cd_(iconv_open(IconvName(to), IconvName(from))) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  [[nodiscard]] bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // One iconv step into `buf` from `used` on; a null `src` flushes. Grows
  // the buffer when it is full. False on a byte sequence it cannot convert.
  bool Step(char** src, std::size_t* srcLeft, std::string& buf, std::size_t& used) {
    for (;;) {
      char* dst = buf.data() + used;
      std::size_t dstLeft = buf.size() - used;
      const std::size_t rc = iconv(cd_, src, srcLeft, &dst, &dstLeft);
      used = buf.size() - dstLeft;
      if (rc != static_cast<std::size_t>(-1)) {
        // A non-zero count means characters were replaced by look-alikes.
        return rc == 0;
      }
      if (errno != E2BIG) return false;  // EILSEQ, or EINVAL: cut off at the end
      buf.resize(buf.size() * 2 + 16);
    }
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool ConvertText(std::string_view in, Codepage from, Codepage to, std::string& out) {
  Converter conv(from, to);
  if (!conv.ok()) return false;
  std::string buf(in.size() + in.size() / 2 + 16, '\0');
  std::size_t used = 0;
  char* src = const_cast<char*>(in.data());  // iconv's signature; it only reads
  std::size_t srcLeft = in.size();
  if (srcLeft > 0 && !conv.Step(&src, &srcLeft, buf, used)) return false;
  if (!conv.Step(nullptr, nullptr, buf, used)) return false;
  buf.resize(used);
  out.swap(buf);
  return true;
}

}  // namespace quor
