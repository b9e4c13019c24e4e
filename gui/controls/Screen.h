#pragma once

// The screen object of the class library: the displays' sizes and areas,
// and the cursor shown over the whole application.

#include <cstdint>
#include <vector>

#include <QRect>

namespace quor {

// Cursor identifiers of the class library; negative values are the stock
// cursors, 0 means "no application-wide cursor".
using TCursor = std::int16_t;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;

// The screen object: the primary display and the application-wide cursor.
// Needs a QGuiApplication.
class TScreen {
 public:
  // Size of the primary display in pixels; 0 when there is none.
  [[nodiscard]] int Width() const;
  [[nodiscard]] int Height() const;
  // The part of each connected screen that windows may use, primary first.
  [[nodiscard]] std::vector<QRect> AvailableAreas() const;

  // The cursor shown over every window of the application, crDefault when
  // none is set. Setting crDefault removes it, so each widget shows its own
  // cursor again; any other value replaces the current one (no stacking).
  [[nodiscard]] TCursor Cursor() const;
  void SetCursor(TCursor cursor);

 private:
  TCursor cursor_ = crDefault;  // what was set, for cursors Qt has no own shape for
};

extern TScreen Screen;

}  // namespace quor
