#include "gui/controls/Dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
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
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path))));
}

}  // namespace quor
