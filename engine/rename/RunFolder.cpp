#include "engine/rename/RunFolder.h"

#include <time.h>

#include <thread>

#include "engine/rename/JournaledWalk.h"

namespace quor {

namespace {

std::int64_t Now(clockid_t clock) {
  timespec t {};
  clock_gettime(clock, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

void RunFolder::Open(const std::string& folder) { (void)folder_.Open(folder); }

EntryId RunFolder::Identity(const Listed& entry) {
  EntryId id;
  if (folder_.IsOpen() && folder_.BirthTimes()) {
    if (bornBy_ == EntryId::kNoTime) {
      // Every listed entry was born by now. The file system stamps a new
      // entry from a coarser clock, which may lag this one by a tick: wait
      // for that clock to pass, and nothing born after can claim the time.
      bornBy_ = Now(CLOCK_REALTIME);
      for (int i = 0; i < 100 && Now(CLOCK_REALTIME_COARSE) <= bornBy_; ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    id.Type = entry.Type;
    id.Ino = entry.Inode;
    id.Dev = folder_.Dev();
    id.Fsid = folder_.Fsid();
    id.BornBy = bornBy_;
    return id;
  }
  // As the listing gave it, should the entry be gone by now.
  if (!folder_.Identity(entry.Name, id, folder_.Generations())) {
    id = EntryId();
    id.Type = entry.Type;
    id.Ino = entry.Inode;
  }
  return id;
}

RenameResult RunFolder::Rename(const std::string& oldName, std::string_view newName, JournalWriter* journal,
                               std::size_t seq) const {
  thread_local std::string to;  // its buffer kept from one rename to the next
  to.assign(newName);
  return RenameNamesOnRecord(journal, seq, folder_, oldName, to);
}

}  // namespace quor
