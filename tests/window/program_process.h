#pragma once
// A program of this build run as a user runs it: output and error stream as one text, and
// the exit status (-1 when it crashed or did not end in time).
#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

namespace quillon_test {

struct Finished {
  int exitCode = -1;
  std::string output;
};

inline Finished RunProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  Finished finished;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    return finished;
  }
  finished.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  finished.output = process.readAll().toStdString();
  return finished;
}

inline QString QuillonProgram() { return QStringLiteral(QUILLON_BINARY_DIR "/quillon/window/quillon"); }

}  // namespace quillon_test
