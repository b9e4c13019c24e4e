#include "engine/rename/RegexRow.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace quor {

namespace {

// The first match limit of a search: nearly every search of an ordinary
// row ends within it, and a search that does not is tried again under four
// times the limit, so it costs at most about five times its own steps.
constexpr std::uint64_t kFirstLimit = 16;
// Bytes that a search may scan, or a replacement write, per unit.
constexpr std::size_t kBytesPerUnit = 64;
// Backtracking depth of the interpreter (without JIT): far beyond what a
// name of 255 bytes needs.
constexpr std::uint32_t kDepthLimit = 10'000;
// The JIT's own stack, grown on demand up to this.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;

// Characters before byte `offset` of UTF-8 text: continuation bytes do not
// start one.
std::size_t CharsBefore(std::string_view text, std::size_t offset) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i)
    chars += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 ? 1 : 0;
  return chars;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

struct RegexRow::Impl {
  // A piece of the replacement: literal text, or a group (the first of
  // `Groups` that is set, as a name may stand for several groups).
  struct Part {
    std::string Text;
    std::vector<std::uint32_t> Groups;
  };

  pcre2_code* Code = nullptr;
  pcre2_match_data* Match = nullptr;
  pcre2_match_context* Context = nullptr;
  pcre2_jit_stack* JitStack = nullptr;
  std::vector<Part> Parts;
  // A back reference compares a whole group in one step, which makes a
  // step dearer.
  bool BackReferences = false;

  ~Impl() {
    pcre2_jit_stack_free(JitStack);
    pcre2_match_context_free(Context);
    pcre2_match_data_free(Match);
    pcre2_code_free(Code);
  }

  // Reads the replacement into Parts; false with `error` filled.
  bool ParseReplacement(std::string_view text, PatternError& error) {
    std::uint32_t groups = 0;
    pcre2_pattern_info(Code, PCRE2_INFO_CAPTURECOUNT, &groups);
    const auto fail = [&](std::size_t at, std::string message) {
      error.InReplacement = true;
      error.Offset = CharsBefore(text, at);
      error.Message = std::move(message);
      return false;
    };
    const auto number = [&](std::string_view digits, std::size_t at, std::uint32_t& n) {
      n = 0;
      for (const char c : digits) {
        n = n * 10 + static_cast<std::uint32_t>(c - '0');
        if (n > groups) return fail(at, "the pattern has no group " + std::string(digits));
      }
      return true;
    };
    std::string literal;
    const auto flush = [&] {
      if (!literal.empty()) Parts.push_back({std::move(literal), {}});
      literal.clear();
    };
    for (std::size_t i = 0; i < text.size();) {
      if (text[i] != '$') {
        literal += text[i++];
        continue;
      }
      const std::size_t at = i++;
      if (i < text.size() && text[i] == '$') {
        literal += '$';
        ++i;
        continue;
      }
      std::uint32_t n = 0;
      if (i < text.size() && IsDigit(text[i])) {
        const std::size_t start = i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        if (!number(text.substr(start, i - start), at, n)) return false;
        flush();
        Parts.push_back({{}, {n}});
        continue;
      }
      if (i >= text.size() || text[i] != '{')
        return fail(at, "'$' must be followed by a group number, {number}, {name} or another '$'");
      const std::size_t close = text.find('}', i);
      if (close == std::string_view::npos) return fail(at, "missing '}' after '${'");
      const std::string_view inner = text.substr(i + 1, close - i - 1);
      i = close + 1;
      if (inner.empty()) return fail(at, "'${}' names no group");
      flush();
      if (IsDigit(inner.front())) {
        for (const char c : inner)
          if (!IsDigit(c)) return fail(at, "a group name cannot start with a digit: " + std::string(inner));
        if (!number(inner, at, n)) return false;
        Parts.push_back({{}, {n}});
        continue;
      }
      // Every group of that name, in the order the name table keeps them.
      const std::string name(inner);
      PCRE2_SPTR first = nullptr;
      PCRE2_SPTR last = nullptr;
      const int size = pcre2_substring_nametable_scan(Code, reinterpret_cast<PCRE2_SPTR>(name.c_str()), &first, &last);
      if (size <= 0) return fail(at, "the pattern has no group named '" + name + "'");
      Part part;
      for (PCRE2_SPTR entry = first; entry <= last; entry += size)
        part.Groups.push_back(static_cast<std::uint32_t>((entry[0] << 8) | entry[1]));
      Parts.push_back(std::move(part));
    }
    flush();
    return true;
  }

  // The bytes that Expand appends.
  std::size_t ExpandedSize(const PCRE2_SIZE* ovector, std::uint32_t pairs) const {
    std::size_t size = 0;
    for (const Part& part : Parts) {
      size += part.Text.size();
      for (const std::uint32_t g : part.Groups) {
        if (g >= pairs || ovector[2 * g] == PCRE2_UNSET) continue;
        size += ovector[2 * g + 1] - ovector[2 * g];
        break;
      }
    }
    return size;
  }

  // One search from `start`, within `budget`: PCRE2 tells no step count, so
  // the search runs under a match limit, and again under four times that
  // while it reaches it; every limit tried is charged, the last one capped
  // by what is left. PCRE2_ERROR_MATCHLIMIT once the budget is spent.
  int Search(std::string_view text, PCRE2_SIZE start, std::uint32_t flags, std::uint64_t& budget) const {
    const std::uint64_t perStep = (1 + text.size() / 128) * (BackReferences ? 4 : 1);
    const std::uint64_t perTry = 1 + (text.size() - start) / kBytesPerUnit;
    for (std::uint64_t limit = kFirstLimit;; limit *= 4) {
      if (budget < perTry + perStep) return PCRE2_ERROR_MATCHLIMIT;
      const std::uint64_t most = (budget - perTry) / perStep;
      const bool last = limit >= most;
      if (last) limit = most;
      pcre2_set_match_limit(Context, static_cast<std::uint32_t>(std::min<std::uint64_t>(limit, UINT32_MAX)));
      const int rc = pcre2_match(Code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), start, flags, Match,
                                 Context);
      budget -= perTry + limit * perStep;
      if (rc != PCRE2_ERROR_MATCHLIMIT || last) return rc;
    }
  }

  void Expand(std::string& out, std::string_view text, const PCRE2_SIZE* ovector, std::uint32_t pairs) const {
    for (const Part& part : Parts) {
      if (part.Groups.empty()) {
        out += part.Text;
        continue;
      }
      for (const std::uint32_t g : part.Groups) {
        if (g >= pairs || ovector[2 * g] == PCRE2_UNSET) continue;
        out.append(text.substr(ovector[2 * g], ovector[2 * g + 1] - ovector[2 * g]));
        break;
      }
    }
  }
};

RegexRow::RegexRow(std::string_view pattern, std::string_view replacement, bool caseless)
    : impl_(std::make_unique<Impl>()) {
  int code = 0;
  PCRE2_SIZE offset = 0;
  const std::uint32_t options =
      PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_NEVER_BACKSLASH_C | (caseless ? PCRE2_CASELESS : 0u);
  impl_->Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options, &code, &offset,
                              nullptr);
  if (impl_->Code == nullptr) {
    PCRE2_UCHAR message[256];
    if (pcre2_get_error_message(code, message, sizeof message) < 0) message[0] = 0;
    error_.Offset = CharsBefore(pattern, offset);
    error_.Message = reinterpret_cast<const char*>(message);
    if (error_.Message.empty()) error_.Message = "error " + std::to_string(code);
    return;
  }
  if (!impl_->ParseReplacement(replacement, error_)) return;
  // Without JIT (a machine without it, or (*NO_JIT)) the interpreter runs,
  // under the same limits.
  (void)pcre2_jit_compile(impl_->Code, PCRE2_JIT_COMPLETE);
  impl_->Match = pcre2_match_data_create_from_pattern(impl_->Code, nullptr);
  impl_->Context = pcre2_match_context_create(nullptr);
  impl_->JitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
  if (impl_->Match == nullptr || impl_->Context == nullptr) throw std::bad_alloc();
  pcre2_set_depth_limit(impl_->Context, kDepthLimit);
  std::uint32_t backReferences = 0;
  pcre2_pattern_info(impl_->Code, PCRE2_INFO_BACKREFMAX, &backReferences);
  impl_->BackReferences = backReferences != 0;
  if (impl_->JitStack != nullptr) pcre2_jit_stack_assign(impl_->Context, nullptr, impl_->JitStack);
}

RegexRow::~RegexRow() = default;

RegexRow::Outcome RegexRow::ReplaceAll(std::string_view text, std::string& out, std::uint64_t& budget) const {
  if (!Ok()) return Outcome::Unchanged;
  PCRE2_SIZE start = 0;
  PCRE2_SIZE copied = 0;
  std::uint32_t flags = 0;
  bool matched = false;
  for (;;) {
    const int rc = impl_->Search(text, start, flags, budget);
    if (rc == PCRE2_ERROR_NOMATCH) break;
    // Every other failure is a limit: steps, depth, heap or the JIT's stack.
    if (rc < 0) return Outcome::Limit;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(impl_->Match);
    const PCRE2_SIZE from = ovector[0];
    const PCRE2_SIZE to = ovector[1];
    // \K inside a lookaround, which PCRE2 refuses by default, is the only
    // way to a match that ends before it starts or before the last one.
    if (to < from || from < copied) return Outcome::Limit;
    if (!matched) {
      out.clear();
      matched = true;
    }
    // What a replacement writes is charged before it is written: "$0$0$0"
    // on every row would otherwise double a name row after row.
    const std::size_t expanded = impl_->ExpandedSize(ovector, static_cast<std::uint32_t>(rc));
    const std::uint64_t written = (from - copied + expanded) / kBytesPerUnit;
    if (written > budget) return Outcome::Limit;
    budget -= written;
    out.append(text.substr(copied, from - copied));
    impl_->Expand(out, text, ovector, static_cast<std::uint32_t>(rc));
    copied = to;
    start = to;
    // After an empty match the next one must not be empty at the same place;
    // a non-empty match there, or any match further on, is still found.
    flags = from == to ? PCRE2_NOTEMPTY_ATSTART : 0u;
    if (from == to && to == text.size()) break;
  }
  if (!matched) return Outcome::Unchanged;
  out.append(text.substr(copied));
  return Outcome::Replaced;
}

}  // namespace quor
