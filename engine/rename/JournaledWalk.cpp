#include "engine/rename/JournaledWalk.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "text/TextOps.h"

namespace quor {

FolderLocks::FolderLocks(std::vector<std::string> folders, const ProgressFn& progress) {
  // Always in one order, so that two runs that lock the same folders never
  // wait for each other.
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  for (const std::string& folder : folders) {
    FolderLock lock;
    SysResult taken = lock.TryLock(folder);
    while (taken.Error() == EWOULDBLOCK) {
      if (!progress.Wait(folder)) {
        held_ = false;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      taken = lock.TryLock(folder);
    }
    if (taken) locks_.push_back(std::move(lock));
  }
}

void CloseRecord(JournalWriter* journal, const WalkEnd& end, std::size_t renamed, std::size_t refused,
                 std::size_t gone) {
  if (!journal) return;
  journal->Finish(end.Failure ? RunEnd::Failed : end.Cancelled ? RunEnd::Cancelled : RunEnd::Finished, renamed,
                  refused, gone);
}

RenameResult RenameOnRecord(JournalWriter* journal, std::size_t seq, const std::string& from, const std::string& to) {
  if (!journal) return RenameFile(from, to);
  return RenameFile(from, to, [journal, seq](const std::string& temp) { journal->TempRoute(seq, temp); });
}

RenameResult RenameOnRecord(JournalWriter* journal, std::size_t seq, const OpenFolder& folder, const std::string& from,
                            const std::string& to) {
  const std::string_view fromIn = NameInFolder(from, folder.Path());
  const std::string_view toIn = NameInFolder(to, folder.Path());
  if (fromIn.empty() || toIn.empty()) return RenameOnRecord(journal, seq, from, to);
  thread_local std::string fromName, toName;  // their buffers kept from one rename to the next
  fromName = fromIn;
  toName = toIn;
  return RenameNamesOnRecord(journal, seq, folder, fromName, toName);
}

RenameResult RenameNamesOnRecord(JournalWriter* journal, std::size_t seq, const OpenFolder& folder,
                                 const std::string& oldName, const std::string& newName) {
  if (!journal) return folder.Rename(oldName, newName);
  return folder.Rename(oldName, newName, [journal, seq](const std::string& temp) { journal->TempRoute(seq, temp); });
}

}  // namespace quor
