#include "gui/support/Waitcursor.h"

namespace quor {

TWaitCursor::TWaitCursor() : SavedCursor(Screen.Cursor()) { Screen.SetCursor(crHourGlass); }

TWaitCursor::~TWaitCursor() { Screen.SetCursor(SavedCursor); }

}  // namespace quor
