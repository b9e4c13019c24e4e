#include "gui/controls/DropFiles.h"

#include <QByteArray>
#include <QMimeData>
#include <QSysInfo>

#include "text/Bytes.h"

namespace quor {

namespace {

std::string PercentDecoded(const QByteArray& text) {
  std::string out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
        HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsLocalHost(const QByteArray& host, QByteArray& self) {
  if (host.isEmpty() || host.compare("localhost", Qt::CaseInsensitive) == 0) return true;
  if (self.isEmpty()) self = QSysInfo::machineHostName().toUtf8();  // asked once per drop
  return host.compare(self, Qt::CaseInsensitive) == 0;
}

}  // namespace

std::vector<std::string> DroppedLocalPaths(const QMimeData& data) {
  std::vector<std::string> paths;
  const QByteArray list = data.data(QStringLiteral("text/uri-list"));
  QByteArray self;
  for (QByteArray line : list.split('\n')) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;  // comments are part of the format
    if (line.size() < 7 || line.left(7).toLower() != "file://") continue;
    QByteArray rest = line.mid(7);
    // Query and fragment are not part of the path; a name's own '?' and
    // '#' arrive percent-encoded.
    for (char stop : {'?', '#'})
      if (const qsizetype at = rest.indexOf(stop); at >= 0) rest.truncate(at);
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0) continue;
    if (!IsLocalHost(rest.left(slash), self)) continue;
    paths.push_back(PercentDecoded(rest.mid(slash)));
  }
  return paths;
}

}  // namespace quor
