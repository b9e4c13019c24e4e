#pragma once

// The desktop's dialogs and viewers: the folder dialog, and opening a
// document (the help) with the program the desktop has for its type.

#include <string>

namespace quor {

// The modal folder dialog with `caption` as its prompt, opened at `directory`
// when that names a folder. `root` is taken for the library's signature;
// the dialog never limits browsing (the program passes "" anyway). On
// confirmation `directory` receives the chosen folder's path (bytes) and the
// result is true; on cancel both stay as they were and the result is false.
bool SelectDirectory(const std::string& caption, const std::string& root, std::string& directory);

// Opens a document with the desktop's default viewer for its type, through
// Qt's desktop services or else xdg-open. The result only tells whether the
// request could be handed on: false when there was no one to hand it to.
bool OpenDocument(const std::string& path);

// Whether the desktop has a program registered for the type of the file at
// `path`, by its name (xdg-mime query default). False when it cannot tell:
// no xdg-mime, no answer within two seconds, or a type nobody knows.
bool HasDefaultViewer(const std::string& path);

}  // namespace quor
