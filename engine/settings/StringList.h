#pragma once

// TStringList: an ordered list of strings with the settings file's one-line
// list encoding (see text/CommaText.h).

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/CommaText.h"

namespace quor {

class TStringList {
 public:
  void Add(std::string s) { items_.push_back(std::move(s)); }
  void Clear() { items_.clear(); }
  [[nodiscard]] std::size_t Count() const { return items_.size(); }
  [[nodiscard]] std::string& operator[](std::size_t i) { return items_[i]; }
  [[nodiscard]] const std::string& operator[](std::size_t i) const { return items_[i]; }
  [[nodiscard]] const std::vector<std::string>& Strings() const { return items_; }

  // The items as one line: a,"b c",,d
  [[nodiscard]] std::string CommaText() const { return ToCommaText(items_); }
  // Replaces the whole content with the items of `text`.
  void SetCommaText(std::string_view text) { items_ = FromCommaText(text); }

 private:
  std::vector<std::string> items_;
};

}  // namespace quor
