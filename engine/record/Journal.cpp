#include "engine/record/Journal.h"

#include "engine/record/RecordFolder.h"
#include "engine/record/RecordFormat.h"
#include "engine/record/Retention.h"
#include "text/Escape.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// Enough intents to make each write worth its system call, few enough that
// a kill leaves only a short stretch whose outcome the disk must tell.
constexpr std::size_t kFlushBytes = 64 * 1024;
// How much goes to the disk at a time while the run goes on.
constexpr std::size_t kWritebackBytes = 1 << 20;

}  // namespace

JournalWriter::JournalWriter(std::string historyDir, RunKind kind, std::string target, std::string undoes)
    : dir_(std::move(historyDir)), kind_(kind), target_(std::move(target)), undoes_(std::move(undoes)) {}

void JournalWriter::Fail(const std::string& what, const SysResult& why) {
  if (problem_.empty()) problem_ = what + ": " + why.Message();
  broken_ = true;
}

bool JournalWriter::Open() {
  if (file_.IsOpen()) return true;
  if (broken_) return false;
  if (dir_.empty()) {
    problem_ = "no folder for the history is known";
    broken_ = true;
    return false;
  }
  const SysResult made = MakeFolders(dir_);
  if (!made) {
    Fail("cannot make " + dir_, made);
    return false;
  }
  std::int64_t now = 0;
  const SysResult created = CreateRecord(dir_, file_, id_, now);
  if (!created) {
    Fail("cannot write in " + dir_, created);
    return false;
  }
  std::string head(kHistoryVersionLine);
  head += "\nbegin\t";
  head += KindWord(kind_);
  head += '\t';
  head += std::to_string(now);
  head += '\t';
  head += std::to_string(ProcessId());
  head += '\t';
  head += EscapeLineValue(target_);
  head += '\n';
  if (!firstBase_.empty()) {
    head += "folder\t";
    AppendEscapedLineValue(head, WithoutTrailingSeparators(firstBase_));
    head += '\n';
  }
  if (!undoes_.empty()) head += "undoes\t" + undoes_ + "\n";
  pending_.insert(0, head);
  return true;
}

void JournalWriter::Write(std::string_view text) {
  if (broken_) return;
  const SysResult written = file_.Append(text);
  if (!written) {
    Fail("cannot write the history record " + id_, written);
    return;
  }
  // The disk takes the record while the renames go on.
  unsynced_ += text.size();
  if (unsynced_ >= kWritebackBytes) {
    file_.StartWriteback();
    unsynced_ = 0;
  }
}

void JournalWriter::AppendBase(std::string_view folder, const RunFacts& facts) {
  // Every path of a run is in one folder, as a rule: one line says which,
  // and what the run knows of all its entries there.
  base_ = std::string(folder);
  baseFacts_ = facts;
  if (firstBase_.empty()) firstBase_ = base_;
  pending_ += "base\t";
  AppendEscapedLineValue(pending_, base_);
  if (facts.Known()) {
    for (const std::uint64_t n : {facts.Dev, facts.Fsid, static_cast<std::uint64_t>(facts.BornBy)}) {
      pending_ += '\t';
      AppendNumber(pending_, n);
    }
  }
  pending_ += '\n';
}

void JournalWriter::AppendName(std::string_view name, bool plainName) {
  if (plainName && !name.starts_with('\\'))  // a backslash might begin the escape marker
    pending_.append(name);
  else
    AppendEscapedLineValue(pending_, name);
}

void JournalWriter::BeginIntent(std::size_t seq, const EntryId& id, std::string_view folder) {
  // Runs only ever name absolute paths; anything else is written whole.
  const bool inBase = folder.starts_with('/');
  const bool brief = inBase && IsBriefIdentity(id) && id.BornBy >= 0;
  if (inBase && (folder != base_ || (brief && FactsOf(id) != baseFacts_)))
    AppendBase(folder, brief ? FactsOf(id) : RunFacts());
  // The number that follows the last one goes without saying.
  pending_ += "R\t";
  if (seq != (lastSeq_ == kNoSeq ? 0 : lastSeq_ + 1)) AppendNumber(pending_, seq);
  lastSeq_ = seq;
  pending_ += '\t';
  if (brief)
    AppendBriefIdentity(pending_, id);
  else
    AppendIdentity(pending_, id);
  pending_ += '\t';
}

void JournalWriter::EndIntent(std::size_t undoneSeq) {
  if (undoneSeq != kNoSeq) {
    // An undo takes the renames back last first: one less goes without saying.
    pending_ += '\t';
    if (lastUndone_ == kNoSeq || undoneSeq + 1 != lastUndone_) AppendNumber(pending_, undoneSeq);
  }
  lastUndone_ = undoneSeq;
  pending_ += '\n';
}

void JournalWriter::Intend(std::size_t seq, const EntryId& id, std::string_view oldPath, std::string_view newPath,
                           bool plainNames, std::size_t undoneSeq) {
  if (broken_) return;
  const std::string_view folder = FolderView(oldPath);
  BeginIntent(seq, id, folder);
  if (folder.starts_with('/'))
    AppendName(FileNameView(oldPath), plainNames);
  else
    AppendEscapedLineValue(pending_, oldPath);
  pending_ += '\t';
  if (FolderView(newPath) != base_)
    AppendEscapedLineValue(pending_, newPath);
  else
    AppendName(FileNameView(newPath), plainNames);
  EndIntent(undoneSeq);
}

void JournalWriter::IntendIn(std::size_t seq, const EntryId& id, std::string_view folder, std::string_view oldName,
                             std::string_view newName, bool plainNames) {
  if (broken_) return;
  BeginIntent(seq, id, folder);
  AppendName(oldName, plainNames);
  pending_ += '\t';
  AppendName(newName, plainNames);
  EndIntent(kNoSeq);
}

void JournalWriter::FlushIntents() {
  if (pending_.empty() || !Open()) return;
  Write(pending_);
  pending_.clear();
}

void JournalWriter::TempRoute(std::size_t seq, std::string_view tempPath) {
  FlushIntents();
  if (!file_.IsOpen()) return;
  std::string line;
  RecordLine(line, "T").Number(seq).Value(FolderView(tempPath) == base_ ? FileNameView(tempPath) : tempPath);
  Write(line);
}

void JournalWriter::Refused(std::size_t seq, int error) {
  if (broken_ || !file_.IsOpen()) return;
  AppendRefusedLine(pending_, seq, error);
}

void JournalWriter::Gone(std::size_t seq, bool replaced) {
  if (broken_ || !file_.IsOpen()) return;
  AppendGoneLine(pending_, seq, replaced);
}

void JournalWriter::Checkpoint(std::size_t seq) {
  if (broken_ || !file_.IsOpen()) return;
  AppendCheckpointLine(pending_, seq);
  if (pending_.size() >= kFlushBytes) FlushIntents();
}

void JournalWriter::Finish(RunEnd end, std::size_t renamed, std::size_t refused, std::size_t gone) {
  if (!file_.IsOpen()) return;  // nothing was ever tried: no record
  AppendEndLine(pending_, end, renamed, refused, gone);
  FlushIntents();
  const SysResult synced = broken_ ? SysResult() : file_.Sync();
  if (!synced) Fail("cannot put the history record " + id_ + " on the disk", synced);
  file_.Close();
  removedUndoable_ = PruneHistory(dir_);
}

}  // namespace quor
