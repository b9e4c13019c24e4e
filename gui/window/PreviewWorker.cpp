#include "gui/window/PreviewWorker.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <QMetaObject>
#include <QObject>

#include "system/Exception.h"

namespace quor {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// How often the answers ask whether a newer request came: as often as the
// plan does.
constexpr std::size_t kStopEvery = 256;

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

std::string_view NewNameOf(const PreviewPlan& p, std::uint32_t k) {
  const PlannedEntry& e = p.Plan.Entries[k];
  return e.Unchanged ? std::string_view(p.Snapshot->Entries[e.Entry].Name) : std::string_view(e.NewName);
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
        return static_cast<int>(p.Why[a].What) - static_cast<int>(p.Why[b].What);
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

}  // namespace

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

void TPreviewWorker::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || forget_ || pending_.has_value(); });
    if (quit_) return;
    if (forget_) {
      forget_ = false;
      lock.unlock();
      snapshot_.reset();
      plan_.reset();
      relist_ = replan_ = true;
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
    snapshot_ = std::make_shared<const FolderSnapshot>(TakeSnapshot(request.FolderText));
    relist_ = false;
    replan_ = true;
  }
  if (stopped()) return;
  if (replan_) {
    auto plan = std::make_shared<PreviewPlan>();
    plan->Snapshot = snapshot_;
    try {
      plan->Plan = PlanRun(*snapshot_, request.Options, request.Exclude.empty() ? nullptr : &request.Exclude, stopped);
    } catch (const Exception& e) {
      plan->Problem = e.Message();
    }
    if (plan->Plan.Stopped) return;
    if (WorkHook) WorkHook(generation);
    if (stopped()) return;
    if (plan->Problem.empty()) {
      SimulatedFolder folder;
      PlanAnswers answers = AnswerPlan(plan->Plan, *snapshot_, folder, [&](std::size_t done, std::size_t) {
        return done % kStopEvery != 0 || !stopped();
      });
      if (answers.Stopped) return;
      plan->Why = std::move(answers.Why);
      for (std::size_t k = 0; k < plan->Plan.Entries.size(); ++k)
        if (plan->Plan.Entries[k].Tried()) ++(plan->Why[k] ? plan->Errors : plan->Renames);
    } else {
      plan->Plan = RunPlan();
    }
    plan_ = std::move(plan);
    replan_ = false;
  }
  PreviewResult result;
  result.Generation = generation;
  result.Plan = plan_;
  result.Rows = Arrange(*plan_, request);
  if (stopped()) return;
  auto shared = std::make_shared<PreviewResult>(std::move(result));
  QMetaObject::invokeMethod(
      context_, [deliver = deliver_, shared] { deliver(std::move(*shared)); }, Qt::QueuedConnection);
}

}  // namespace quor
