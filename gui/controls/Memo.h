#pragma once

// The multi-line edit of the class library over a read-only QPlainTextEdit.
// The lines are kept as bytes, so a line holding a name that is not valid
// UTF-8 reads back unchanged; the widget shows them with replacement
// characters.

#include <cstddef>
#include <string>
#include <vector>

#include <QPlainTextEdit>

namespace quor {

class TMemo;

// The memo's line list (the library's Lines).
class TMemoLines {
 public:
  explicit TMemoLines(TMemo& memo) : memo_(memo) {}

  // Appends one line at the end. Cheap: the widget gets the new lines in
  // one go before it is painted or read, not one by one.
  void Add(std::string line);
  void Clear();
  [[nodiscard]] std::size_t Count() const { return lines_.size(); }
  [[nodiscard]] const std::string& operator[](std::size_t i) const { return lines_.at(i); }
  // Every line followed by "\n".
  [[nodiscard]] std::string Text() const;

 private:
  friend class TMemo;
  TMemo& memo_;
  std::vector<std::string> lines_;
  std::size_t shown_ = 0;  // lines the widget already holds
};

class TMemo : public QPlainTextEdit {
 public:
  explicit TMemo(QWidget* parent = nullptr);

  void Clear();
  [[nodiscard]] TMemoLines& Lines() { return lines_; }
  [[nodiscard]] const TMemoLines& Lines() const { return lines_; }
  void SelectAll();
  // Puts the selected text on the clipboard; lines end in "\n".
  void CopyToClipboard();
  // Keeps the start of the selection and sets its length in characters;
  // the caret is scrolled into view.
  void SetSelLength(int length);

  // Hands the widget the lines added since the last call.
  void Flush();

 protected:
  bool viewportEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  friend class TMemoLines;
  void ScheduleFlush();

  TMemoLines lines_{*this};
  bool flushPending_ = false;
};

}  // namespace quor
