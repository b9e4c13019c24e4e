#include "engine/rename/LogLines.h"

#include "text/DisplayText.h"

namespace quor {

namespace {

void AppendReason(std::string& text, const Refusal& why) {
  text += '\t';
  text += RefusalText(why);
}

}  // namespace

std::string FormatLine(const RenameLine& line) {
  std::string text = line.Ok ? "Rename\t" : "Error\t";
  text.reserve(text.size() + line.NewName.size() + line.OldName.size() + 8);
  if (line.Plain) {
    text += line.NewName;
    text += kLogArrow;
    text += line.OldName;
  } else {
    text += DisplayName(line.NewName);
    text += kLogArrow;
    text += DisplayName(line.OldName);
  }
  if (!line.Ok) {
    AppendReason(text, line.Why);
  } else if (!line.Follows.empty()) {
    text += '\t';
    text += FollowNote(line.Follows);
  }
  return text;
}

std::string FollowNote(const std::string& recording) { return "本体 " + DisplayName(recording) + " に合わせました"; }

std::string FormatLine(const UndoLine& line) { return FormatLine(UndoLineView{line.Ok, line.OldPath, line.NewPath, line.Why}); }

std::string FormatLine(const UndoLineView& line) {
  std::string text = line.Ok ? "Undo\t" : "Error\t";
  text.reserve(text.size() + line.OldPath.size() + line.NewPath.size() + 8);
  AppendDisplayPath(text, line.OldPath);
  text += kLogArrow;
  AppendDisplayPath(text, line.NewPath);
  if (!line.Ok) AppendReason(text, line.Why);
  return text;
}

std::string RecoverLine(std::string_view pathNow, std::string_view tempPath, const Refusal& why) {
  std::string text = pathNow.empty() ? "Error\t" : "Recover\t";
  AppendDisplayPath(text, pathNow.empty() ? tempPath : pathNow);
  text += kLogArrow;
  AppendDisplayPath(text, tempPath);
  if (pathNow.empty()) AppendReason(text, why);
  return text;
}

}  // namespace quor
