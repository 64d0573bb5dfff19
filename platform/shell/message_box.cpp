#include "platform/shell/message_box.h"

#include <QMessageBox>
#include <QString>
#include <ostream>

namespace platform::shell {

std::string WithUnixLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      out += '\n';
    }
  }
  return out;
}

void QtMessageBoxes::showMessage(const std::string& text) {
  QMessageBox::information(nullptr, QString::fromStdString(title_),
                           QString::fromStdString(WithUnixLineBreaks(text)), QMessageBox::Ok);
}

void QtMessageBoxes::showError(const std::string& text) {
  QMessageBox::critical(nullptr, QString::fromStdString(title_), QString::fromStdString(WithUnixLineBreaks(text)),
                        QMessageBox::Ok);
}

bool QtMessageBoxes::askYesNo(const std::string& text) {
  return QMessageBox::question(nullptr, QString::fromStdString(title_),
                               QString::fromStdString(WithUnixLineBreaks(text)),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TerminalMessageBoxes::showMessage(const std::string& text) {
  out_ << WithUnixLineBreaks(text) << "\n" << std::flush;
}

void TerminalMessageBoxes::showError(const std::string& text) { showMessage(text); }

bool TerminalMessageBoxes::askYesNo(const std::string& text) {
  out_ << WithUnixLineBreaks(text) << " " << (answerYes_ ? "Yes" : "No") << "\n" << std::flush;
  return answerYes_;
}

}  // namespace platform::shell
