#pragma once
// The drivesim program of this build on 127.0.0.1, any free port, stopped at the end.
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <cstdint>

namespace view_test {

class Drivesim {
 public:
  explicit Drivesim(QStringList arguments) {
    arguments << "--port" << "0";
    process_.start(QStringLiteral(QUILLON_BINARY_DIR "/drivesim/drivesim"), arguments);
    if (!process_.waitForReadyRead(20000)) return;
    const auto match = QRegularExpression(QStringLiteral("on 127\\.0\\.0\\.1:(\\d+)"))
                           .match(QString::fromUtf8(process_.readLine()));
    if (match.hasMatch()) port_ = match.captured(1).toUShort();
  }
  ~Drivesim() {
    process_.terminate();
    if (!process_.waitForFinished(10000)) process_.kill();
  }
  Drivesim(const Drivesim&) = delete;
  Drivesim& operator=(const Drivesim&) = delete;
  std::uint16_t port() const { return port_; }

 private:
  QProcess process_;
  std::uint16_t port_ = 0;
};

}  // namespace view_test
