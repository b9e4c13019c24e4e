#pragma once

// The control kinds of the class library over Qt Widgets. Most are Qt's own
// widgets under the library's names; the edit keeps the bytes it was given.

#include <cstdint>
#include <string>
#include <string_view>

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QWidget>

class QLabel;

namespace quor {

using TPageControl = QTabWidget;
using TTabSheet = QWidget;
using TButton = QPushButton;
using TBitBtn = QPushButton;  // a push button with an icon as its glyph
using TCheckBox = QCheckBox;
using TGroupBox = QGroupBox;
using TPanel = QFrame;

// Single-line edit whose text crosses to the engine as bytes. A text set
// from bytes that are not valid UTF-8 (a file name can hold such bytes)
// reads back as the same bytes until the user edits it; the widget itself
// can only show it with replacement characters.
class TEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

  [[nodiscard]] std::string Text() const;
  void SetText(const std::string& text);

 private:
  std::string bytes_;
};

// One line at the foot of a window that says what the last command did.
// The text lives in a label, which screen readers read and are told about
// when it changes (a status bar's own message is only painted). A text too
// long for the window's width shows cut in the middle, whole in its tooltip
// and to screen readers; no text makes the window wider.
class TStatusBar : public QStatusBar {
 public:
  explicit TStatusBar(QWidget* parent = nullptr);

  [[nodiscard]] std::string Text() const;
  void SetText(const std::string& text);
  [[nodiscard]] QLabel* Label() const { return label_; }

 private:
  QLabel* label_;
};

// The bytes a control was last given while it still shows them (names that
// are not UTF-8 show with replacement characters), else what it shows now:
// text the user typed.
[[nodiscard]] std::string KeptOrShown(const QString& shown, std::string_view kept);

// A count as the window and its dialogs show it: "1,234".
[[nodiscard]] QString CountText(std::uint64_t n);

}  // namespace quor
