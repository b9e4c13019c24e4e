#pragma once

// Sequences of runs and undos as a hostile user makes them, drawn at random
// from a seed: runs of a folder, of its subfolders and of single files,
// with other replace rows (some rename a subfolder, some undo others), undos
// of the newest run and of any run by its ID, two runs at once, runs killed
// midway, dry runs. After every step every file's content is still there;
// after the undos of everything every name is back. A failure names its
// seed; QUOR_SEED=n repeats it.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/TempFolder.h"
#include "tests/cli/RunCli.h"

namespace quor::test {

// Every file under `root` (hidden ones too), by its path below it, with
// its content.
inline std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) tree[e.path().string().substr(root.size() + 1)] = ReadFile(e.path().string());
  return tree;
}

inline std::vector<std::string> Contents(const std::map<std::string, std::string>& tree) {
  std::vector<std::string> contents;
  for (const auto& [path, content] : tree) contents.push_back(content);
  std::sort(contents.begin(), contents.end());
  return contents;
}

// The seed of a test's sequences: QUOR_SEED, or a new one each time.
inline unsigned RandomSeed() {
  if (const char* given = std::getenv("QUOR_SEED")) return static_cast<unsigned>(std::strtoul(given, nullptr, 10));
  return std::random_device{}();
}

inline void RandomSequences(const std::string& root, unsigned seed, int sequences, int steps) {
  std::printf("random history: seed %u (QUOR_SEED=%u repeats it)\n", seed, seed);
  SCOPED_TRACE("QUOR_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  const std::vector<std::vector<std::string>> rules = {
      {},
      {"-o", "LowerExt=0", "-r", "第", "Ep"},
      {"-r", "Ep", "第"},
      {"-o", "LowerExt=0", "-r", "S1", "S1x"},  // renames the subfolder itself
      {"-o", "LowerExt=0", "-r", "S1x", "S1"},
      {"-o", "LowerExt=0", "-r", "x", "y"},
      {"-o", "LowerExt=0", "-r", "y", "x"},
      {"-o", "LowerExt=0", "-r", ".mp4", ".MP4"},  // the case back
      {"-o", "DeleteAfterKakko=1", "-o", "DeleteKakko=1"},
  };
  for (int s = 0; s < sequences; ++s) {
    SCOPED_TRACE("sequence " + std::to_string(s));
    TempFolder home("quor-random-home");
    const std::map<std::string, std::string> env = {
        {"HOME", home.Path()}, {"XDG_STATE_HOME", home / "state"}, {"XDG_CONFIG_HOME", home / "config"},
        {"PATH", "/usr/bin:/bin"}, {"ASAN_OPTIONS", "detect_leaks=0"}};
    const std::string top = root + "/seq" + std::to_string(s);
    const std::string F = top + "/F";
    for (const char* folder : {"", "/S1", "/S1/S2", "/S3"}) std::filesystem::create_directories(F + folder);
    const std::vector<std::string> files = {
        "第1話｢夜｣[字].MP4", "第2話｢朝｣.ts", "x1.MP4", "y2.MP4", "Ep3.MP4", "第3.mp4", "S1 第4話｢昼｣[再].MP4",
        "S1/第5話｢雨｣[字].MP4", "S1/x6.MP4", "S1/Ep7.ts", "S1/S2/第8話｢星｣.MP4", "S1/S2/y9.mp4", "S3/x10.MP4",
        "S3/第11話｢風｣[字].MP4", "第1話｢夜｣[字].MP4.err"};
    for (const std::string& f : files) WriteFile(F + "/" + f, f);
    const std::map<std::string, std::string> original = Tree(top);
    const std::vector<std::string> contents = Contents(original);
    const std::vector<std::string> targets = {F, F, F + "/S1", F + "/S1/S2", F + "/S3", F + "/x1.MP4",
                                              F + "/S1/第5話｢雨｣[字].MP4", F + "/第1話｢夜｣[字].MP4"};
    const auto runArgs = [&] {
      std::vector<std::string> args = {"--defaults", "-q"};
      const auto& r = rules[pick(rules.size())];
      args.insert(args.end(), r.begin(), r.end());
      args.push_back(targets[pick(targets.size())]);
      return args;
    };
    const auto renameRuns = [&] {
      std::vector<std::string> ids;
      const CliResult h = RunCli({"--history"}, env);
      for (const std::string& line : h.Lines())
        if (line.find("\tundo of ") == std::string::npos && line.find('\t') != std::string::npos)
          ids.push_back(line.substr(0, line.find('\t')));
      return ids;
    };
    std::vector<std::string> done;
    const auto Steps = [&] {
      std::string text = "the steps:";
      for (const std::string& step : done) text += "\n  " + step;
      return text;
    };
    for (int step = 0; step < steps; ++step) {
      std::string what;
      switch (pick(8)) {
        case 0:
        case 1: {
          const auto args = runArgs();
          what = "run " + args.back();
          (void)RunCli(args, env);
          break;
        }
        case 2:
          what = "undo";
          (void)RunCli({"--undo", "-q"}, env);
          break;
        case 3: {
          const std::vector<std::string> ids = renameRuns();
          if (ids.empty()) continue;
          what = "undo of " + ids[pick(ids.size())];
          (void)RunCli({"--undo", "-q", what.substr(8)}, env);
          break;
        }
        case 4: {
          what = "two runs at once";
          CliProcess first(runArgs(), env);
          CliProcess second(pick(2) == 0 ? runArgs() : std::vector<std::string>{"--undo", "-q"}, env);
          (void)first.Wait();
          (void)second.Wait();
          break;
        }
        case 5: {
          const auto args = runArgs();
          what = "a run of " + args.back() + " killed";
          CliProcess killed(args, env);
          usleep(static_cast<useconds_t>(std::uniform_int_distribution<int>(0, 12000)(random)));
          killed.Signal(SIGKILL);
          (void)killed.Wait();
          break;
        }
        case 6: {
          what = "an undo killed";
          CliProcess killed({"--undo", "-q"}, env);
          usleep(static_cast<useconds_t>(std::uniform_int_distribution<int>(0, 12000)(random)));
          killed.Signal(SIGKILL);
          (void)killed.Wait();
          break;
        }
        default: {
          auto args = runArgs();
          what = "a dry run of " + args.back();
          args.insert(args.begin(), "-n");
          const auto before = Tree(top);
          (void)RunCli(args, env);
          ASSERT_EQ(Tree(top), before) << "step " << step << ": " << what << " changed the folder";
          break;
        }
      }
      done.push_back(what);
      ASSERT_EQ(Contents(Tree(top)), contents) << "step " << step << ": after " << what << " a file is lost\n"
                                               << Steps();
    }
    // Everything undone, newest first, as often as it takes.
    for (int undo = 0; undo < 60; ++undo) {
      const CliResult r = RunCli({"--undo", "-q"}, env);
      if (r.Err.find("nothing to undo") != std::string::npos) break;
    }
    if (Tree(top) != original && std::getenv("QUOR_KEEP") != nullptr) {
      // The folder and its history, for a look at what went wrong.
      const std::string kept = std::string(std::getenv("QUOR_KEEP")) + "/seq" + std::to_string(s);
      std::filesystem::create_directories(kept);
      std::filesystem::copy(top, kept + "/tree", std::filesystem::copy_options::recursive);
      std::filesystem::copy(home.Path(), kept + "/home", std::filesystem::copy_options::recursive);
    }
    ASSERT_EQ(Tree(top), original) << "after every undo\n" << Steps();
    std::filesystem::remove_all(top);
  }
}

}  // namespace quor::test
