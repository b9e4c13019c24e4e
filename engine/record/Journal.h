#pragma once

// The writer of a run's record (the format: engine/record/RecordFormat.h).
// The runs write through it as they go, so that a kill at any moment leaves
// enough on the disk to repair and undo the run.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record/RecordFormat.h"
#include "system/RecordFile.h"
#include "system/SystemOps.h"

namespace quor {

class JournalWriter {
 public:
  // Nothing is written until the first intents: a run that renames nothing
  // leaves no record. `target` is the folder text of the run; `undoes` the
  // id of the run an undo run takes back.
  JournalWriter(std::string historyDir, RunKind kind, std::string target, std::string undoes = {});
  // Without Finish the record stays unfinished, as a killed run's would.
  ~JournalWriter() = default;
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // Buffers the intent to rename entry `seq`; FlushIntents puts the buffered
  // intents on record, and must come before any of them is tried.
  // `plainNames`: both names are known to be plain text, so that they need
  // no escape and no check for one. An undo names the rename it takes back
  // by its number in the run it undoes (`undoneSeq`), where it knows it.
  void Intend(std::size_t seq, const EntryId& id, std::string_view oldPath, std::string_view newPath,
              bool plainNames = false, std::size_t undoneSeq = kNoSeq);
  // Intend for two names of `folder`, an absolute path with its '/', as a
  // run names them without making their paths.
  void IntendIn(std::size_t seq, const EntryId& id, std::string_view folder, std::string_view oldName,
                std::string_view newName, bool plainNames = false);
  void FlushIntents();
  // On record at once: the temporary name entry `seq` is about to take.
  void TempRoute(std::size_t seq, std::string_view tempPath);
  // Buffers a refused rename; Checkpoint puts it on record with the line
  // that says every intent up to `seq` has its outcome.
  void Refused(std::size_t seq, int error);
  // Buffers an undo's entry that was not there to take back: gone, or
  // `replaced` by another entry under its name.
  void Gone(std::size_t seq, bool replaced);
  void Checkpoint(std::size_t seq);
  // Closes the record, puts it on the disk (fdatasync) and releases it;
  // then keeps the history within its limits (engine/record/Retention.h).
  void Finish(RunEnd end, std::size_t renamed, std::size_t refused, std::size_t gone = 0);

  // The run's id, "" while (or when) it has no record.
  [[nodiscard]] const std::string& Id() const { return id_; }
  // Why this run has no record, or an incomplete one; "" when all is well.
  [[nodiscard]] const std::string& Problem() const { return problem_; }
  [[nodiscard]] const std::string& Folder() const { return dir_; }
  // The runs that could still be undone and that the history's limits made
  // this run remove (engine/record/Retention.h), oldest first.
  [[nodiscard]] const std::vector<std::string>& RemovedUndoable() const { return removedUndoable_; }

 private:
  bool Open();
  void Write(std::string_view text);
  void Fail(const std::string& what, const SysResult& why);

  std::string dir_;
  RunKind kind_;
  std::string target_;
  std::string undoes_;
  std::string id_;
  std::string problem_;
  // Makes `folder` the base of the paths that follow, with the run's facts.
  void AppendBase(std::string_view folder, const RunFacts& facts);
  // Appends a name of the base folder.
  void AppendName(std::string_view name, bool plainName);
  // An intent's line up to its names, with the base line it needs before
  // it; and its end.
  void BeginIntent(std::size_t seq, const EntryId& id, std::string_view folder);
  void EndIntent(std::size_t undoneSeq);

  std::string pending_;
  std::string base_;            // the folder of the paths, with its "/"
  RunFacts baseFacts_;          // what its line says of every entry
  std::size_t lastSeq_ = kNoSeq;     // of the last intent
  std::size_t lastUndone_ = kNoSeq;  // ... and the rename it takes back
  std::string firstBase_;       // the first of them: the folder whose entries the run renames
  std::size_t unsynced_ = 0;    // bytes appended since writeback last started
  RecordFile file_;
  bool broken_ = false;
  std::vector<std::string> removedUndoable_;
};

}  // namespace quor
