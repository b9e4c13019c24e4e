#pragma once

// What a screen reader sees of the log view: the accessible adapter of
// TMemo, a read-only multi-line text whose characters are the lines joined
// by "\n", counted in UTF-16 offsets. The offsets of the lines are worked
// out only as far as a reader asks, so reading a line costs the same in any
// log.

class QAccessibleInterface;
class QObject;
class QString;

namespace quor {

// The factory that QAccessible asks for a widget's adapter: a TMemo's, or
// null for any other widget. The first memo installs it.
[[nodiscard]] QAccessibleInterface* MemoAccessible(const QString& key, QObject* object);

}  // namespace quor
