#include "engine/rename/JournaledWalk.h"

namespace quor {

void CloseRecord(JournalWriter* journal, const WalkEnd& end, std::size_t renamed, std::size_t refused) {
  if (!journal) return;
  journal->Finish(end.Failure ? RunEnd::Failed : end.Cancelled ? RunEnd::Cancelled : RunEnd::Finished, renamed,
                  refused);
}

RenameResult RenameOnRecord(JournalWriter* journal, std::size_t seq, const std::string& from, const std::string& to) {
  if (!journal) return RenameFile(from, to);
  return RenameFile(from, to, [journal, seq](const std::string& temp) { journal->TempRoute(seq, temp); });
}

}  // namespace quor
