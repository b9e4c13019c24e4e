#include "engine/record/Retention.h"

#include <algorithm>
#include <map>

#include "engine/record/RecordFolder.h"
#include "engine/record/RecordFormat.h"
#include "system/RecordFile.h"

namespace quor {

namespace {

// A rename run with the undo records of it, or a record on its own; removed
// as one.
struct Unit {
  std::vector<const RecordHead*> Records;
  std::uint64_t Bytes = 0;
  bool Undoable = false;
  bool Kept = false;  // holds a record that is written or waits for its repair
};

}  // namespace

std::vector<std::string> PruneHistory(const std::string& historyDir, std::size_t keepRuns, std::uint64_t keepBytes) {
  // Heads and ends are all it needs; a damage they do not show keeps a record longer, no more.
  const std::vector<RecordHead> heads = ReadRecordHeads(historyDir, 0);
  const auto runOf = [&](const RunRecord& r) {
    return r.Readable && r.Kind == RunKind::Rename;
  };
  std::map<std::string, std::size_t> unitOfRun;
  for (const RecordHead& h : heads)
    if (runOf(h.Record)) unitOfRun[h.Record.Id] = 0;
  // Newest first: a unit is as old as its rename run, a record on its own
  // as old as itself.
  std::vector<Unit> units;
  std::vector<std::size_t> unitOfHead(heads.size());
  for (std::size_t i = 0; i < heads.size(); ++i) {
    const RunRecord& r = heads[i].Record;
    if (!runOf(r) && r.Readable && unitOfRun.count(r.Undoes) != 0) continue;  // goes with its run
    unitOfHead[i] = units.size();
    if (runOf(r)) unitOfRun[r.Id] = units.size();
    units.push_back({});
    units.back().Undoable = heads[i].Undoable();
  }
  std::size_t count = 0;
  std::uint64_t bytes = 0;
  for (std::size_t i = 0; i < heads.size(); ++i) {
    const RunRecord& r = heads[i].Record;
    const bool attached = !runOf(r) && r.Readable && unitOfRun.count(r.Undoes) != 0;
    Unit& unit = units[attached ? unitOfRun[r.Undoes] : unitOfHead[i]];
    unit.Records.push_back(&heads[i]);
    unit.Bytes += heads[i].Size;
    unit.Kept = unit.Kept || (r.Readable && r.End == RunEnd::Unfinished);
    ++count;
    bytes += heads[i].Size;
  }

  const auto remove = [&](Unit& unit) {
    for (const RecordHead* h : unit.Records) {
      if (RemoveFile(h->Record.Path)) {
        --count;
        bytes -= h->Size;
      }
    }
    unit.Records.clear();
  };
  // What cannot be undone any more goes first, the oldest first, while the
  // folder holds more than the limits.
  for (auto it = units.rbegin(); it != units.rend() && (count > keepRuns || bytes > keepBytes); ++it)
    if (!it->Undoable && !it->Kept && !it->Records.empty()) remove(*it);
  // A run that could still be undone only past both limits.
  std::vector<std::string> removed;
  std::size_t undoable = 0;
  std::uint64_t undoableBytes = 0;
  for (Unit& unit : units) {
    if (!unit.Undoable || unit.Records.empty()) continue;
    undoableBytes += unit.Bytes;
    if (++undoable > keepRuns && undoableBytes > keepBytes && !unit.Kept) {
      for (const RecordHead* h : unit.Records)
        if (runOf(h->Record)) removed.push_back(h->Record.Id);
      remove(unit);
    }
  }
  std::reverse(removed.begin(), removed.end());
  return removed;
}

}  // namespace quor
