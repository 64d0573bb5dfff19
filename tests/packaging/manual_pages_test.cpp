// Each program's manual page names every command and option its --help names, and no other:
// a new option without its page, or a page that keeps an option the program dropped, fails.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "tests/window/program_process.h"

namespace {
using quillon_test::RunProgram;

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The page as a reader sees its words: "\-" is a dash, font changes are nothing.
std::string plainManualPage(const std::string& name) {
  QString text = QString::fromStdString(fileText(QUILLON_SOURCE_DIR "/packaging/man/" + name + ".1.in"));
  text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
  text.remove(QRegularExpression(QStringLiteral(R"(\\f[BIRP])")));
  text.remove(QRegularExpression(QStringLiteral(R"(\\&)")));
  return text.toStdString();
}

// "--name" and "-x" standing as words of their own (not "RX-Fenn", "Ctrl-C", "windows-1252").
std::set<std::string> optionsIn(const std::string& text) {
  static const QRegularExpression option(QStringLiteral(R"((?:^|[^A-Za-z0-9_/-])(--[a-z][a-z0-9-]*[a-z0-9]|-[a-zA-Z])(?![A-Za-z0-9-]))"),
                                         QRegularExpression::MultilineOption);
  std::set<std::string> found;
  for (auto it = option.globalMatch(QString::fromStdString(text)); it.hasNext();)
    found.insert(it.next().captured(1).toStdString());
  return found;
}

std::string helpOf(const QString& program, const QStringList& arguments) {
  const quillon_test::Finished run = RunProgram(program, arguments, 30000);
  EXPECT_EQ(run.exitCode, 0) << program.toStdString() << " " << arguments.join(' ').toStdString();
  return run.output;
}

std::string listed(const std::set<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += " " + word;
  return text;
}

// The page without its lines that show another program's command line (an example that
// starts quillon against drivesim): their options are that program's.
std::string ownLines(const std::string& text, const std::string& program) {
  std::istringstream in(text);
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    bool other = false;
    for (const char* name : {"quillon ", "drivesim ", "velkor-module "})
      other = other || (name != program + " " && line.find(name) != std::string::npos);
    if (!other) kept += line + "\n";
  }
  return kept;
}

void expectSameOptions(const std::string& page, const std::string& help) {
  const std::set<std::string> inHelp = optionsIn(help), inPage = optionsIn(ownLines(plainManualPage(page), page));
  std::set<std::string> missing, stale;
  for (const std::string& o : inHelp)
    if (!inPage.count(o)) missing.insert(o);
  for (const std::string& o : inPage)
    if (!inHelp.count(o)) stale.insert(o);
  EXPECT_TRUE(missing.empty()) << page << ".1 lacks" << listed(missing);
  EXPECT_TRUE(stale.empty()) << page << ".1 names options --help does not:" << listed(stale);
  EXPECT_FALSE(inHelp.empty()) << page;
}

TEST(ManualPages, NameEveryCommandAndOptionOfTheProgramsHelp) {
  const QString bin = QStringLiteral(QUILLON_BINARY_DIR);
  const std::string quillon = helpOf(bin + "/quillon/window/quillon", {"--help"}) +
                              helpOf(bin + "/quillon/window/quillon", {"view", "--help"}) +
                              helpOf(bin + "/quillon/window/quillon", {"watch", "--help"});
  expectSameOptions("quillon", quillon);
  expectSameOptions("drivesim", helpOf(bin + "/drivesim/drivesim", {"--help"}));
  expectSameOptions("velkor-module", helpOf(bin + "/velkor/module/velkor-module", {"--help"}));

  // Every command of the usage lines has its line in the page's synopsis.
  const std::string page = plainManualPage("quillon");
  const std::string synopsis = page.substr(page.find(".SH SYNOPSIS"), page.find(".SH DESCRIPTION") - page.find(".SH SYNOPSIS"));
  static const QRegularExpression usage(QStringLiteral(R"(^\s*(?:Usage:)?\s*quillon ([a-z]+))"),
                                        QRegularExpression::MultilineOption);
  std::set<std::string> commands;
  for (auto it = usage.globalMatch(QString::fromStdString(quillon)); it.hasNext();)
    commands.insert(it.next().captured(1).toStdString());
  EXPECT_EQ(commands, (std::set<std::string>{"diff", "export", "list", "report", "scan", "view", "watch"}));
  for (const std::string& command : commands)
    EXPECT_NE(synopsis.find(".B quillon " + command), std::string::npos) << command << " is not in the synopsis";
}

}  // namespace
