#include "gui/window/StatusText.h"

#include "system/SystemOps.h"
#include "text/DisplayText.h"

namespace quor {

std::string FolderProblemText(FolderState state, const std::string& folderText, int error) {
  switch (state) {
    case FolderState::NotAbsolute:
      return "フォルダーを「/」で始まるパスで指定してください";
    case FolderState::Missing:
      return "フォルダーがありません: " + DisplayPath(folderText);
    case FolderState::Unreadable:
      return "フォルダーを読めません: " + DisplayPath(folderText) + "（" + SysResult(error).Message() + "）";
    case FolderState::Listed:
      break;
  }
  return {};
}

}  // namespace quor
