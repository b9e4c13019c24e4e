#include "text/TextConvert.h"

#include <iconv.h>

#include <array>
#include <cerrno>

namespace quor {

namespace {

const char* IconvName(Codepage cp) { return cp == Codepage::Cp932 ? "CP932" : "UTF-8"; }

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

// Opening a descriptor costs more than converting a name: each thread keeps
// one per direction, opened on first use.
class Descriptors {
 public:
  ~Descriptors() {
    for (const iconv_t cd : open_)
      if (cd != kNoDescriptor) iconv_close(cd);
  }
  iconv_t For(Codepage from, Codepage to) {
    const std::size_t slot = (from == Codepage::Cp932 ? 0 : 2) + (to == Codepage::Cp932 ? 0 : 1);
    if (open_[slot] == kNoDescriptor) open_[slot] = iconv_open(IconvName(to), IconvName(from));
    return open_[slot];
  }

 private:
  std::array<iconv_t, 4> open_ = {kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor};
};

// A thread's descriptor for one conversion, in its initial state.
class Converter {
 public:
  Converter(Codepage from, Codepage to) {
    thread_local Descriptors descriptors;
    cd_ = descriptors.For(from, to);
    // A conversion that failed halfway may have left a shift state behind.
    if (ok()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  [[nodiscard]] bool ok() const { return cd_ != kNoDescriptor; }

  // One iconv step into `buf` from `used` on; a null `src` flushes. Grows
  // the buffer when it is full. False on a character it cannot convert,
  // with *srcLeft bytes of the input not taken.
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

ConvertResult ConvertText(std::string_view in, Codepage from, Codepage to, std::string& out) {
  using Reason = ConvertResult::Reason;
  // A byte sequence that is no character at all is the input's fault,
  // whatever the converter would say of it.
  for (std::size_t i = 0; i < in.size();) {
    const std::size_t n = CharLength(in, i, from);
    if (!IsValidText(in.substr(i, n), from)) return {Reason::InvalidInput, i};
    i += n;
  }
  Converter conv(from, to);
  if (!conv.ok()) return {Reason::NoConverter, 0};
  std::string buf(in.size() + in.size() / 2 + 16, '\0');
  std::size_t used = 0;
  char* src = const_cast<char*>(in.data());  // iconv's signature; it only reads
  std::size_t srcLeft = in.size();
  // Well-formed CP932 may still hold a code with no character assigned;
  // UTF-8 that is well formed always names one.
  const Reason failed = from == Codepage::Cp932 ? Reason::InvalidInput : Reason::Unrepresentable;
  if (srcLeft > 0 && !conv.Step(&src, &srcLeft, buf, used)) return {failed, in.size() - srcLeft};
  if (!conv.Step(nullptr, nullptr, buf, used)) return {failed, in.size()};
  buf.resize(used);
  out.swap(buf);
  return {};
}

}  // namespace quor
