#pragma once

// The busy cursor for the length of a scope.

#include "gui/controls/Screen.h"

namespace quor {

// Shows the busy cursor over the whole application while it lives and puts
// back the cursor it found, on every path out of the scope that holds it.
// Guards nest: each restores only its own saved value.
class TWaitCursor {
 public:
  TWaitCursor();
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

 private:
  TCursor SavedCursor;
};

}  // namespace quor
