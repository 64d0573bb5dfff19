#include "platform/shell/open_folder.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace platform::shell {
namespace {

// xdg-open hands the folder on and ends at once; one that fails (no file manager for
// folders) says so by its exit status within this time.
constexpr int kOpenerAnswerMs = 3000;

}  // namespace

bool OpenFolderInFileManager(const std::filesystem::path& folder) {
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) return false;
  // The path goes as one argument, never through a shell, so no character of it is special.
  auto* process = new QProcess;
  process->start(opener, QStringList{QString::fromStdString(folder.string())});
  if (!process->waitForStarted()) {
    delete process;
    return false;
  }
  if (!process->waitForFinished(kOpenerAnswerMs)) {
    // Still running: a file manager in the foreground. It is left to go on by itself.
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return true;
  }
  const bool opened = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
  delete process;
  return opened;
}

}  // namespace platform::shell
