#pragma once

// The control kinds of the class library over Qt Widgets. Most are Qt's own
// widgets under the library's names; the edit keeps the bytes it was given.

#include <string>

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>

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

}  // namespace quor
