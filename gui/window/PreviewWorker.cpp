#include "gui/window/PreviewWorker.h"

#include <algorithm>
#include <exception>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QMetaObject>
#include <QObject>

#include "system/Exception.h"

namespace quor {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// How often the answers ask whether a newer request came: as often as the
// plan does.
constexpr std::size_t kStopEvery = 256;
// The first rows of a large folder, shown while the rest is planned: more
// than a screen holds, and a few milliseconds' work.
constexpr std::size_t kFirstRows = 2048;

// The order of the states in the 状態 column.
int StateRank(const PreviewPlan& p, std::uint32_t k) {
  const PlannedEntry& e = p.Plan.Entries[k];
  if (e.Excluded) return 3;
  if (e.Unchanged) return 2;
  return p.Why[k] ? 1 : 0;
}

bool Shown(const PreviewPlan& p, std::uint32_t k, PreviewFilter filter) {
  const PlannedEntry& e = p.Plan.Entries[k];
  switch (filter) {
    case PreviewFilter::Changed: return !e.Unchanged || static_cast<bool>(e.Why);
    case PreviewFilter::All: return true;
    case PreviewFilter::Errors: return e.Tried() && static_cast<bool>(p.Why[k]);
    case PreviewFilter::Excluded: return e.Excluded;
  }
  return true;
}


// The rows to show, in the order asked for; ties keep the run's order.
std::vector<std::uint32_t> Arrange(const PreviewPlan& p, const PreviewRequest& r) {
  std::vector<std::uint32_t> rows;
  const auto count = static_cast<std::uint32_t>(p.Plan.Entries.size());
  rows.reserve(count);
  for (std::uint32_t k = 0; k < count; ++k)
    if (Shown(p, k, r.Filter)) rows.push_back(k);
  const auto compare = [&](std::uint32_t a, std::uint32_t b) -> int {
    switch (r.Sort) {
      case PreviewSort::RunOrder: return 0;
      case PreviewSort::Tick: return int{p.Plan.Entries[a].Excluded} - int{p.Plan.Entries[b].Excluded};
      case PreviewSort::State: {
        const int rank = StateRank(p, a) - StateRank(p, b);
        if (rank != 0 || StateRank(p, a) != 1) return rank;
        return static_cast<int>(p.Why[a].What()) - static_cast<int>(p.Why[b].What());
      }
      case PreviewSort::NewName: return NaturalCompare(NewNameOf(p, a), NewNameOf(p, b));
      case PreviewSort::OldName:
        return NaturalCompare(p.Snapshot->Entries[p.Plan.Entries[a].Entry].Name,
                              p.Snapshot->Entries[p.Plan.Entries[b].Entry].Name);
    }
    return 0;
  };
  if (r.Sort != PreviewSort::RunOrder)
    std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
      const int c = compare(a, b);
      return r.Descending ? c > 0 : c < 0;
    });
  return rows;
}

// A plan of a large folder leaves megabytes of small blocks free behind
// it, and the plan it replaced more: the allocator keeps them for this
// process unless told to give them back.
void GiveBackMemory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

}  // namespace

std::string_view NewNameOf(const PreviewPlan& p, std::uint32_t k) {
  const PlannedEntry& e = p.Plan.Entries[k];
  const bool keeps = e.Unchanged || (k < p.Why.size() && p.Why[k].What() == Refusal::Kind::MainNotRenamed);
  return keeps ? std::string_view(p.Snapshot->Entries[e.Entry].Name) : std::string_view(e.NewName);
}

int NaturalCompare(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t ia = i;
      std::size_t jb = j;
      while (ia < a.size() && a[ia] == '0') ++ia;
      while (jb < b.size() && b[jb] == '0') ++jb;
      std::size_t ie = ia;
      std::size_t je = jb;
      while (ie < a.size() && IsDigit(a[ie])) ++ie;
      while (je < b.size() && IsDigit(b[je])) ++je;
      // More digits is more; as many digits compare as text.
      if (ie - ia != je - jb) return ie - ia < je - jb ? -1 : 1;
      if (const int c = a.substr(ia, ie - ia).compare(b.substr(jb, je - jb)); c != 0) return c;
      i = ie;
      j = je;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  // Equal but for leading zeros ("01" and "1"): still two names, in byte order.
  return a.compare(b);
}

TPreviewWorker::TPreviewWorker(QObject* context, std::function<void(PreviewResult)> deliver)
    : context_(context), deliver_(std::move(deliver)), thread_([this] { Run(); }) {}

TPreviewWorker::~TPreviewWorker() {
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
    ++latest_;  // the work in progress stops at its next check
  }
  wake_.notify_one();
  thread_.join();
}

std::uint64_t TPreviewWorker::Request(PreviewRequest request) {
  std::uint64_t generation = 0;
  {
    const std::lock_guard lock(mutex_);
    // What an overtaken request asked for is still to be done.
    if (pending_) {
      request.Relist = request.Relist || pending_->Relist;
      request.Replan = request.Replan || pending_->Replan;
    }
    pending_ = std::move(request);
    generation = ++latest_;
  }
  wake_.notify_one();
  return generation;
}

void TPreviewWorker::Forget() {
  {
    const std::lock_guard lock(mutex_);
    forget_ = true;
    pending_.reset();
    ++latest_;
  }
  wake_.notify_one();
}

void TPreviewWorker::Dispose(PreviewResult old) {
  if (!old.Plan && old.Rows.empty()) return;
  {
    const std::lock_guard lock(mutex_);
    disposed_.push_back(std::move(old));
  }
  wake_.notify_one();
}

void TPreviewWorker::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || forget_ || !disposed_.empty() || pending_.has_value(); });
    if (quit_) return;
    if (forget_ || !disposed_.empty()) {
      const bool forget = std::exchange(forget_, false);
      std::vector<PreviewResult> disposed = std::move(disposed_);
      disposed_.clear();
      lock.unlock();
      disposed.clear();
      if (forget) {
        snapshot_.reset();
        order_.reset();
        plan_.reset();
        relist_ = replan_ = true;
      }
      GiveBackMemory();
      lock.lock();
      continue;
    }
    const PreviewRequest request = std::move(*pending_);
    pending_.reset();
    const std::uint64_t generation = latest_.load();
    lock.unlock();
    try {
      Work(request, generation);
    } catch (...) {
      // Nothing to show for it; the next request starts from a listing.
      snapshot_.reset();
      order_.reset();
      plan_.reset();
      relist_ = replan_ = true;
    }
    lock.lock();
  }
}

void TPreviewWorker::Work(const PreviewRequest& request, std::uint64_t generation) {
  const auto stopped = [this, generation] { return latest_.load() != generation; };
  relist_ = relist_ || request.Relist || !snapshot_ || snapshot_->FolderText != request.FolderText;
  replan_ = replan_ || request.Replan || relist_;
  if (relist_) {
    order_.reset();
    snapshot_ = std::make_shared<const FolderSnapshot>(TakeSnapshot(request.FolderText, nullptr, nullptr, request.Earlier));
    relist_ = false;
    replan_ = true;
  }
  if (stopped()) return;
  // Companions are found once per listing: a million names take a second.
  if (!order_ || orderCompanions_ != request.Options.Companions) {
    order_ = std::make_unique<const RunOrder>(RunOrderOf(*snapshot_, request.Options.Companions));
    orderCompanions_ = request.Options.Companions;
  }
  if (replan_) {
    const NameSet* exclude = request.Exclude && !request.Exclude->empty() ? request.Exclude.get() : nullptr;
    // The run's first entries are final on their own: each one's answer
    // depends only on the listing and the entries before it.
    if (request.FirstRowsFirst && request.Sort == PreviewSort::RunOrder && snapshot_->Entries.size() > kFirstRows) {
      std::size_t asked = 0;
      std::shared_ptr<const PreviewPlan> first =
          MakePlan(request, exclude, [&] { return ++asked * kStopEvery > kFirstRows || stopped(); }, generation, false);
      if (!first || stopped()) return;
      Post(generation, first, request, true);
    }
    std::shared_ptr<const PreviewPlan> plan = MakePlan(request, exclude, stopped, generation, true);
    if (!plan) return;
    plan_ = std::move(plan);
    replan_ = false;
  }
  Post(generation, plan_, request, false);
}

std::shared_ptr<const PreviewPlan> TPreviewWorker::MakePlan(const PreviewRequest& request, const NameSet* exclude,
                                                            const StopFn& stop, std::uint64_t generation,
                                                            bool whole) {
  const auto stopped = [this, generation] { return latest_.load() != generation; };
  auto plan = std::make_shared<PreviewPlan>();
  plan->Snapshot = snapshot_;
  try {
    plan->Plan = PlanRun(*snapshot_, *order_, request.Options, exclude, stop);
  } catch (const Exception& e) {
    plan->Problem = e.Message();
    plan->Plan = RunPlan();
    return plan;
  }
  if (whole && plan->Plan.Stopped) return nullptr;
  if (stopped()) return nullptr;
  if (whole && WorkHook) WorkHook(generation);
  if (stopped()) return nullptr;
  SimulatedFolder folder;
  PlanAnswers answers = AnswerPlan(plan->Plan, *snapshot_, folder, [&](std::size_t done, std::size_t) {
    return done % kStopEvery != 0 || !stopped();
  });
  if (answers.Stopped) return nullptr;
  plan->Why = std::move(answers.Why);
  for (std::size_t k = 0; k < plan->Plan.Entries.size(); ++k)
    if (plan->Plan.Entries[k].Tried()) ++(plan->Why[k] ? plan->Errors : plan->Renames);
  return plan;
}

void TPreviewWorker::Post(std::uint64_t generation, std::shared_ptr<const PreviewPlan> plan,
                          const PreviewRequest& request, bool partial) {
  auto result = std::make_shared<PreviewResult>();
  result->Generation = generation;
  result->Rows = Arrange(*plan, request);
  // FNV-1a over the snapshot and the entries of the rows.
  std::uint64_t key = 0xcbf29ce484222325ull ^ reinterpret_cast<std::uintptr_t>(plan->Snapshot.get());
  for (const std::uint32_t k : result->Rows) key = (key ^ plan->Plan.Entries[k].Entry) * 0x100000001b3ull;
  result->RowsKey = key ^ result->Rows.size();
  result->Plan = std::move(plan);
  result->Partial = partial;
  if (latest_.load() != generation) return;
  QMetaObject::invokeMethod(
      context_, [deliver = deliver_, result] { deliver(std::move(*result)); }, Qt::QueuedConnection);
}

}  // namespace quor
