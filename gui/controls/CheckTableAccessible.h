#pragma once

// What a screen reader sees of a TCheckTable: a table whose cells are made
// only as a reader asks for them, with a header row of column names. A
// cell with a box is checkable, and its toggle action ticks or unticks the
// box; Qt's own table cells would only select themselves.

class QAccessibleInterface;
class QObject;
class QString;

namespace quor {

// The factory that QAccessible asks for a widget's adapter: a
// TCheckTable's, or null for any other widget. The first table installs it.
[[nodiscard]] QAccessibleInterface* CheckTableAccessible(const QString& key, QObject* object);

}  // namespace quor
