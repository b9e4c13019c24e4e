#include "engine/files/FileList.h"

#include "engine/files/File.h"
#include "engine/files/Findfile.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

namespace quor {

std::vector<std::string> BuildFileList(const std::string& folderText, bool withDir, bool withExt,
                                       const NameSet* only) {
  std::vector<std::string> lines;
  TFindFile find;
  find.OnlyNames = only;
  find.First(MakeSearchPattern(folderText));
  while (find.Next()) {
    std::string line = withDir ? find.FullPath : find.cFileName;
    if (!withExt) {
      Codepage cp = Codepage::Utf8;
      (void)NameCodepage(find.cFileName, cp);
      // The line ends in the name, so the name's extension is the line's.
      line.resize(line.size() - ExtractFileExt(find.cFileName, cp).size());
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace quor
