#include "gui/controls/Screen.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace quor {

TScreen Screen;

namespace {

struct CursorShape {
  TCursor cursor;
  Qt::CursorShape shape;
};

// One Qt shape per stock cursor, so that a value read back is the value set.
constexpr CursorShape kShapes[] = {
    {crNone, Qt::BlankCursor},         {crArrow, Qt::ArrowCursor},
    {crCross, Qt::CrossCursor},        {crIBeam, Qt::IBeamCursor},
    {crSizeNESW, Qt::SizeBDiagCursor}, {crSizeNS, Qt::SizeVerCursor},
    {crSizeNWSE, Qt::SizeFDiagCursor}, {crSizeWE, Qt::SizeHorCursor},
    {crUpArrow, Qt::UpArrowCursor},    {crHourGlass, Qt::WaitCursor},
    {crNo, Qt::ForbiddenCursor},       {crAppStart, Qt::BusyCursor},
    {crHelp, Qt::WhatsThisCursor},     {crHandPoint, Qt::PointingHandCursor},
    {crSizeAll, Qt::SizeAllCursor},
};

Qt::CursorShape ShapeOf(TCursor cursor) {
  for (const auto& s : kShapes)
    if (s.cursor == cursor) return s.shape;
  return Qt::ArrowCursor;
}

QSize PrimarySize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize(0, 0);
}

}  // namespace

int TScreen::Width() const { return PrimarySize().width(); }

std::vector<QRect> TScreen::AvailableAreas() const {
  std::vector<QRect> areas;
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (primary) areas.push_back(primary->availableGeometry());
  for (const QScreen* screen : QGuiApplication::screens())
    if (screen != primary) areas.push_back(screen->availableGeometry());
  return areas;
}

int TScreen::Height() const { return PrimarySize().height(); }

TCursor TScreen::Cursor() const {
  const QCursor* current = QGuiApplication::overrideCursor();
  if (!current) return crDefault;
  if (current->shape() == ShapeOf(cursor_)) return cursor_;
  // Someone else set it through Qt directly: report what it shows.
  for (const auto& s : kShapes)
    if (s.shape == current->shape()) return s.cursor;
  return crArrow;
}

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == crDefault) {
    // Qt keeps a stack of override cursors; the library has one value.
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  } else if (QGuiApplication::overrideCursor()) {
    QGuiApplication::changeOverrideCursor(QCursor(ShapeOf(cursor)));
  } else {
    QGuiApplication::setOverrideCursor(QCursor(ShapeOf(cursor)));
  }
  cursor_ = cursor;
}

}  // namespace quor
