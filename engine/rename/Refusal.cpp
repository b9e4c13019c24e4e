#include "engine/rename/Refusal.h"

#include <cerrno>

#include "text/DisplayText.h"

namespace quor {

Refusal RefusalOf(const RenameResult& result) {
  using Kind = Refusal::Kind;
  if (!result.StrandedAt.empty()) return Refusal(Kind::Stranded, result.Error(), result.StrandedAt);
  switch (result.Error()) {
    case 0: return {};
    case EEXIST:
    case ENOTEMPTY: return Refusal(Kind::Exists);
    case EACCES:
    case EPERM: return Refusal(Kind::AccessDenied);
    case EROFS: return Refusal(Kind::ReadOnly);
    case ENOENT: return Refusal(Kind::Vanished);
    case ENAMETOOLONG: return Refusal(Kind::NameTooLong);
    default: return Refusal(Kind::System, result.Error());
  }
}

Refusal RefusalOf(const RuleResult& result) {
  Refusal refusal;
  switch (result.Failure) {
    case RuleFailure::None: break;
    case RuleFailure::NotText: refusal.What = Refusal::Kind::NotInCodepage; break;
    case RuleFailure::MatchLimit: refusal.What = Refusal::Kind::RegexLimit; break;
    case RuleFailure::NotInCp932: refusal.What = Refusal::Kind::NotInCp932; break;
  }
  if (result) refusal.Row = result.Row + 1;
  return refusal;
}

std::string RefusalText(const Refusal& refusal) {
  using Kind = Refusal::Kind;
  switch (refusal.What) {
    case Kind::None: return {};
    case Kind::Exists: return "同じ名前が既にあります";
    case Kind::EmptyName: return "新しい名前が空です";
    case Kind::OnlyExtension: return "拡張子だけの名前になります";
    case Kind::Separator: return "名前に「/」は使えません";
    case Kind::DotName: return "「.」「..」は名前にできません";
    case Kind::NulByte: return "名前にNUL文字は使えません";
    case Kind::NotInCodepage: return "文字コードが不明な名前です";
    case Kind::RegexLimit:
      return "置換リスト " + std::to_string(refusal.Row) + " 行目の正規表現の処理が上限に達しました";
    case Kind::NotInCp932: return "Shift_JIS（CP932）で表せない文字が入ります";
    case Kind::AccessDenied: return "アクセスが拒否されました";
    case Kind::ReadOnly: return "読み取り専用のファイルシステムです";
    case Kind::Vanished: return "見つかりません";
    case Kind::Replaced: return "別の項目がこの名前になっています";
    case Kind::MainNotRenamed: return "本体のファイルの名前が変わらなかったので、そのままにしました";
    case Kind::FolderGone: return "戻す先のフォルダーがありません";
    case Kind::NameTooLong: return "名前が長すぎます";
    case Kind::Stranded: return "元に戻せず一時的な名前で残っています: " + DisplayPath(refusal.StrandedAt);
    case Kind::LaterRun: return "まだ戻せません: 後の実行 " + refusal.StrandedAt + " を先に元に戻してください";
    case Kind::System: return "システムエラー: " + SysResult(refusal.Error).Message();
  }
  return {};
}

}  // namespace quor
