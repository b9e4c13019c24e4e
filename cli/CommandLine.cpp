#include "cli/CommandLine.h"

#include <cmath>
#include <cstddef>
#include <optional>
#include <string_view>

#include "engine/settings/MemIniFile.h"
#include "text/Bytes.h"

namespace quor::cli {

namespace {

// The option keys are the settings file's, matched as the file matches them.
Option OptionKey(std::string_view key) {
  for (const OptionDef& def : kOptions)
    if (SameAsciiFolded(key, def.Key)) return def.Id;
  std::string known;
  for (const OptionDef& def : kOptions) known += std::string(known.empty() ? "" : ", ") + def.Key;
  throw UsageError("unknown option key '" + std::string(key) + "' (known keys: " + known + ")");
}

// The values the settings file takes for a check box.
bool OptionValue(std::string_view key, std::string_view value) {
  if (const std::optional<bool> b = BoolText(value)) return *b;
  throw UsageError("bad value '" + std::string(value) + "' for " + std::string(key) + " (use 1, 0, true or false)");
}

std::pair<Option, bool> Override(std::string_view text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) throw UsageError("-o takes KEY=VALUE, not '" + std::string(text) + "'");
  const std::string_view key = text.substr(0, eq);
  return {OptionKey(key), OptionValue(key, text.substr(eq + 1))};
}

// SECONDS as --settle and --poll take them: a decimal number such as 10 or
// 0.5, within bounds, to the millisecond.
std::chrono::milliseconds Seconds(std::string_view option, const std::string& text, double least, double most) {
  const bool digits = !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos &&
                      text.find('.') == text.rfind('.') && text != ".";
  const double value = digits ? std::strtod(text.c_str(), nullptr) : -1;
  if (!digits || !std::isfinite(value) || value < least || value > most) {
    const auto shown = [](double v) {
      std::string t = std::to_string(v);
      while (t.ends_with('0')) t.pop_back();
      if (t.ends_with('.')) t.pop_back();
      return t;
    };
    throw UsageError("option " + std::string(option) + " takes SECONDS from " + shown(least) + " to " + shown(most) +
                     ", not '" + text + "'");
  }
  return std::chrono::milliseconds(static_cast<long long>(std::llround(value * 1000)));
}

class Parser {
 public:
  Parser(const std::vector<std::string>& args, const EnvironmentFn& getenv) : args_(args), getenv_(getenv) {}

  CommandLine Parse() {
    bool optionsEnded = false;
    for (next_ = 0; next_ < args_.size();) {
      const std::string& arg = args_[next_++];
      if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
        line_.Paths.push_back(arg);  // "-" alone is a name like any other
        line_.PathIsEntry.push_back(0);
      } else if (arg == "--") {
        optionsEnded = true;
      } else if (arg.starts_with("--")) {
        Long(arg);
      } else {
        Shorts(arg);
      }
    }
    Check();
    return line_;
  }

 private:
  // The argument after an option; `what` names it in the message.
  std::string Value(std::string_view option, const char* what) {
    if (next_ >= args_.size()) throw UsageError("option " + std::string(option) + " needs " + what);
    return args_[next_++];
  }

  // -r and -e: one row each, in the order given.
  void Replace(std::string_view option, bool regex) {
    renameOptions_.emplace_back(option);
    const char* what = regex ? "PATTERN and REPLACEMENT" : "OLD and NEW";
    ReplacePair pair;
    pair.Old = Value(option, what);
    pair.New = Value(option, what);
    pair.Regex = regex;
    // An empty text to find does nothing in the window's list either; here
    // it can only be a mistake, such as an unset shell variable.
    if (pair.Old.empty())
      throw UsageError("option " + std::string(option) + ": " + (regex ? "PATTERN" : "OLD") + " must not be empty");
    line_.Replace.push_back(std::move(pair));
  }

  void SetMode(Mode mode, std::string_view option) {
    if (modeOption_.empty()) {
      line_.What = mode;
      modeOption_ = option;
      return;
    }
    if (line_.What == mode) throw UsageError(std::string(option) + " is given twice");
    throw UsageError(modeOption_ + " and " + std::string(option) + " cannot be used together");
  }

  void Long(const std::string& arg) {
    const std::size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    const bool hasValue = eq != std::string::npos;
    const auto value = [&](const char* what) { return hasValue ? arg.substr(eq + 1) : Value(name, what); };
    const auto noValue = [&] {
      if (hasValue) throw UsageError("option " + name + " takes no value");
    };
    if (name == "--option") {
      line_.Overrides.push_back(Override(value("KEY=VALUE")));
    } else if (name == "--replace" || name == "--regex") {
      noValue();
      Replace(name, name == "--regex");
    } else if (name == "--path-env") {
      // A recorder that runs its hook without a shell hands the path over in
      // a variable that nothing expands. It names a recording, whose name
      // may hold a '*' or a '?': never a mask.
      const std::string variable = value("a variable NAME");
      const char* path = getenv_(variable.c_str());
      if (path == nullptr || *path == 0)
        throw UsageError("--path-env " + variable + ": the variable is " + (path == nullptr ? "not set" : "empty"));
      line_.Paths.push_back(path);
      line_.PathIsEntry.push_back(1);
    } else if (name == "--settings") {
      line_.SettingsFile = value("a FILE");
      if (line_.SettingsFile.empty()) throw UsageError("option --settings needs a FILE");
    } else if (name == "--settle" || name == "--poll") {
      watchOptions_.push_back(name);
      if (name == "--settle")
        line_.Settle = Seconds(name, value("SECONDS"), 0, 86400);
      else
        line_.Poll = Seconds(name, value("SECONDS"), 0.1, 3600);
    } else if (name == "--undo") {
      SetMode(Mode::Undo, name);
      // The ID may also come as the next argument; see Check.
      if (hasValue) undoIds_.push_back(arg.substr(eq + 1));
    } else {
      noValue();
      if (name == "--dry-run" || name == "--quiet") renameOptions_.push_back(name);
      if (name == "--defaults") line_.Defaults = true;
      else if (name == "--dry-run") line_.DryRun = true;
      else if (name == "--quiet") line_.Quiet = true;
      else if (name == "--directory") line_.Themselves = true;
      else if (name == "--history") SetMode(Mode::History, name);
      else if (name == "--list") SetMode(Mode::List, name);
      else if (name == "--watch") SetMode(Mode::Watch, name);
      else if (name == "--with-dir") line_.WithDir = true;
      else if (name == "--with-ext") line_.WithExt = true;
      else if (name == "--help") help_ = true;
      else if (name == "--version") version_ = true;
      else throw UsageError("unknown option " + name);
    }
  }

  // A cluster such as -nq; an option with a value takes the rest of the
  // cluster (-oLowerExt=0) or the next argument.
  void Shorts(const std::string& arg) {
    for (std::size_t i = 1; i < arg.size(); ++i) {
      const char c = arg[i];
      const std::string option = std::string("-") + c;
      switch (c) {
        case 'n':
          line_.DryRun = true;
          renameOptions_.push_back(option);
          break;
        case 'q':
          line_.Quiet = true;
          renameOptions_.push_back(option);
          break;
        case 'd': line_.Themselves = true; break;
        case 'h': help_ = true; break;
        case 'o':
          line_.Overrides.push_back(Override(i + 1 < arg.size() ? arg.substr(i + 1) : Value(option, "KEY=VALUE")));
          return;
        case 'r':
        case 'e':
          if (i + 1 < arg.size())
            throw UsageError("option " + option + (c == 'e' ? " takes PATTERN and REPLACEMENT" : " takes OLD and NEW") +
                             " as two arguments");
          Replace(option, c == 'e');
          return;
        default: throw UsageError("unknown option " + option);
      }
    }
  }

  void Check() {
    if (help_) line_.What = Mode::Help;
    else if (version_) line_.What = Mode::Version;
    if (help_ || version_) return;
    if (line_.Defaults && !line_.SettingsFile.empty())
      throw UsageError("--settings and --defaults cannot be used together");
    if (!watchOptions_.empty() && line_.What != Mode::Watch)
      throw UsageError(watchOptions_.front() + " applies to --watch only");
    switch (line_.What) {
      case Mode::List:
        // The list renames nothing: what only a run reads is a mistake here.
        if (!renameOptions_.empty()) throw UsageError(renameOptions_.front() + " does not apply to --list");
        [[fallthrough]];
      case Mode::Watch:
        if (line_.What == Mode::Watch) {
          // A watch renames for real what arrives in folders, nothing else.
          if (line_.DryRun) throw UsageError("--dry-run does not apply to --watch");
          if (line_.Themselves) throw UsageError("--directory does not apply to --watch");
          if (line_.WithDir || line_.WithExt) throw UsageError("--with-dir and --with-ext do not apply to --watch");
        }
        [[fallthrough]];
      case Mode::Rename:
        if (line_.Paths.empty()) throw UsageError("no PATH given");
        for (const std::string& path : line_.Paths)
          // An unset variable in a recorder's command must not mean "here".
          if (path.empty()) throw UsageError("an empty PATH");
        break;
      case Mode::Undo:
        // Undoing for real what the user meant to try out would be the worst
        // reading of the command.
        if (line_.DryRun) throw UsageError("--dry-run does not apply to --undo");
        for (std::string& path : line_.Paths) undoIds_.push_back(std::move(path));
        line_.Paths.clear();
        line_.PathIsEntry.clear();
        if (undoIds_.size() > 1) throw UsageError("--undo takes one run ID at most");
        if (!undoIds_.empty() && undoIds_[0].empty()) throw UsageError("--undo: an empty run ID");
        if (!undoIds_.empty()) line_.UndoId = undoIds_[0];
        break;
      case Mode::History:
        if (!line_.Paths.empty()) throw UsageError("--history takes no PATH");
        break;
      case Mode::Help:
      case Mode::Version: break;
    }
  }

  const std::vector<std::string>& args_;
  const EnvironmentFn& getenv_;
  std::size_t next_ = 0;
  CommandLine line_;
  std::string modeOption_;
  std::vector<std::string> undoIds_;
  std::vector<std::string> renameOptions_;  // the options that only a rename reads, as given
  std::vector<std::string> watchOptions_;   // the options that only a watch reads, as given
  bool help_ = false;
  bool version_ = false;
};

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args, const EnvironmentFn& getenv) {
  return Parser(args, getenv).Parse();
}

std::string HelpText() {
  std::string keys;
  for (const OptionDef& def : kOptions) {
    keys += "                          ";
    keys += def.Key;
    keys += def.Default ? " (1 at first start)\n" : " (0 at first start)\n";
  }
  return "Usage: quor-rename [OPTION]... PATH...\n"
         "  or:  quor-rename --watch [OPTION]... FOLDER...\n"
         "  or:  quor-rename --undo [ID] | --history\n"
         "Tidy Japanese recording names (第01話｢タイトル｣[字].MP4) with the rules and the\n"
         "replace list of the Quor Renamer window: the same settings file, the same\n"
         "log lines, the same history. Each PATH is a folder (every entry of it), a\n"
         "folder with a mask such as '/media/tv/*.ts', or a single entry. Files named\n"
         "after a recording (X.ts.err, X.ts.program.txt beside X.ts) follow it.\n"
         "\n"
         "Rules:\n"
         "      --settings FILE     read the options and replace list from FILE\n"
         "      --defaults          read no settings file: first-start options, no list\n"
         "  -o, --option KEY=VALUE  set one option; VALUE is 1, 0, true or false; KEY:\n" +
         keys +
         "  -r, --replace OLD NEW   add a pair to the end of the replace list\n"
         "  -e, --regex PATTERN NEW add a regular-expression row (PCRE2) to the end of the\n"
         "                          list: $1, ${1} or ${name} in NEW insert a group, $$ a $\n"
         "\n"
         "Running:\n"
         "      --path-env NAME     a PATH from the environment variable NAME, always one\n"
         "                          entry (for a recorder that runs its command\n"
         "                          without a shell)\n"
         "  -n, --dry-run           print what a run would print now; rename nothing\n"
         "  -q, --quiet             print only the Error lines\n"
         "  -d, --directory         rename a folder PATH itself, not its entries\n"
         "      --undo [ID]         undo the newest run not undone yet, or run ID\n"
         "      --history           list the recorded runs, newest first\n"
         "      --list              print the file list of PATH instead of renaming\n"
         "      --with-dir          in the list, full paths (as -o WithDir=1)\n"
         "      --with-ext          in the list, keep the extensions (as -o WithExt=1)\n"
         "\n"
         "Watching:\n"
         "      --watch             rename what is in each FOLDER (a folder, or one with a\n"
         "                          mask), then each entry that arrives once it is\n"
         "                          complete, until stopped (SIGTERM, Ctrl+C)\n"
         "      --settle SECONDS    a file is complete SECONDS after its last writer\n"
         "                          closed it and nothing changed (default 10)\n"
         "      --poll SECONDS      list the folders every SECONDS instead of waiting for\n"
         "                          the system's events (network shares are always\n"
         "                          listed, every 5 seconds)\n"
         "  -h, --help              show this help and exit\n"
         "      --version           show the version and exit\n"
         "\n"
         "Each line is the window's log line: Rename or Error, the new name, the old\n"
         "name, and for an Error line why. Names are never overwritten.\n"
         "\n"
         "Examples:\n"
         "  quor-rename /media/tv                      tidy every recording in /media/tv\n"
         "  quor-rename -q -r '[字]' '' \"$FILE\"         after a recording: that file only\n"
         "  quor-rename -e '#(\\d+)' '第$1話' /media/tv   #3 becomes 第3話\n"
         "  quor-rename -q --watch /srv/tv             tidy each recording as it lands\n"
         "\n"
         "Exit status: 0 when every rename succeeded or there was nothing to do,\n"
         "1 when an Error line was written or the lines could not all be written,\n"
         "2 for a usage error, a settings file that cannot be read, a regular\n"
         "expression that does not compile or a PATH that does not exist, 130 after\n"
         "Ctrl+C (0 for --watch, which ends so).\n";
}

std::string PatternProblem(const PatternError& error, const ReplacePair& row, std::size_t fileRows,
                           const std::vector<std::string>& keys) {
  // The file's own name for the row: its rows are numbered as the user
  // wrote them, with gaps.
  const std::string where =
      error.Row >= fileRows    ? std::string("-e")
      : error.Row < keys.size() ? "key " + keys[error.Row] + " in [ReplaceList] of the settings file"
                                : "replace row " + std::to_string(error.Row + 1) + " of the settings file";
  if (!error.UnknownMark.empty())
    return "replace row '" + row.Old + "' (" + where + "): its third item '" + error.UnknownMark +
           "' is not understood (re marks a regular expression; a plain row has none)";
  std::string text = error.InReplacement ? "replacement '" + row.New + "' of pattern '" + row.Old + "'"
                                         : "pattern '" + row.Old + "'";
  return text + " (" + where + "), at offset " + std::to_string(error.Offset) + ": " + error.Message;
}

}  // namespace quor::cli
