#include "platform/shell/open_folder.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace platform::shell {

bool OpenFolderInFileManager(const std::filesystem::path& folder) {
  // The path goes as one argument, never through a shell, so no character of it is special.
  return QProcess::startDetached(QStringLiteral("xdg-open"),
                                 QStringList{QString::fromStdString(folder.string())});
}

}  // namespace platform::shell
