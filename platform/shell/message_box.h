#pragma once
// Message boxes: a Qt dialog when the program has a window, the terminal when headless.
#include <iosfwd>
#include <string>

namespace platform::shell {

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // A message with an OK button.
  virtual void showMessage(const std::string& text) = 0;
  // The same with the error icon: something failed.
  virtual void showError(const std::string& text) = 0;
  // A question with Yes and No buttons, No the default; true for Yes.
  virtual bool askYesNo(const std::string& text) = 0;
};

// Modal Qt message boxes under the program's title.
class QtMessageBoxes : public MessageBoxes {
 public:
  explicit QtMessageBoxes(std::string title) : title_(std::move(title)) {}
  void showMessage(const std::string& text) override;
  void showError(const std::string& text) override;
  bool askYesNo(const std::string& text) override;

 private:
  std::string title_;
};

// Prints the texts (CR LF shown as a line break) and answers every question with the
// answer given at construction, so a headless run never waits for a keyboard.
class TerminalMessageBoxes : public MessageBoxes {
 public:
  TerminalMessageBoxes(std::ostream& out, bool answerYes) : out_(out), answerYes_(answerYes) {}
  void showMessage(const std::string& text) override;
  void showError(const std::string& text) override;  // as a message: the terminal has no icons
  bool askYesNo(const std::string& text) override;

 private:
  std::ostream& out_;
  bool answerYes_;
};

// The text with every CR LF (and lone CR) turned into a plain line feed.
std::string WithUnixLineBreaks(const std::string& text);

}  // namespace platform::shell
