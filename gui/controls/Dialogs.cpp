#include "gui/controls/Dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace quor {

bool SelectDirectory(const std::string& caption, const std::string& /*root*/, std::string& directory) {
  QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(caption));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (!directory.empty()) dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(directory)));
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  directory = QFile::encodeName(chosen.first()).toStdString();
  return true;
}

bool OpenDocument(const std::string& path) {
  const QString file = QFile::decodeName(QByteArray::fromStdString(path));
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(file))) return true;
  // Platforms without desktop services (offscreen, minimal) can still
  // reach the desktop's opener.
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  return !opener.isEmpty() && QProcess::startDetached(opener, {file});
}

bool HasDefaultViewer(const std::string& path) {
  const QMimeType type = QMimeDatabase().mimeTypeForFile(QFile::decodeName(QByteArray::fromStdString(path)),
                                                         QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault()) return false;
  QProcess query;
  query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type.name()});
  // A hung desktop must not hang the button.
  if (!query.waitForFinished(2000)) {
    query.kill();
    query.waitForFinished(1000);
    return false;
  }
  // It answers with the program's desktop entry, or nothing.
  return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
         !query.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace quor
