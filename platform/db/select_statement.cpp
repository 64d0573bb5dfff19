#include "platform/db/select_statement.h"

#include <cctype>

namespace platform::db {

namespace {

struct Token {
  enum class Type { Word, QuotedName, DoubleQuoted, String, Number, Symbol, End } type = Type::End;
  std::string text;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  // Returns false on text it cannot read (unterminated quote, stray character).
  bool next(Token& token) {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    token = Token{};
    if (pos_ >= text_.size()) return true;
    char c = text_[pos_];
    if (c == '[') return readUntil(']', Token::Type::QuotedName, token);
    if (c == '`') return readUntil('`', Token::Type::QuotedName, token);
    if (c == '"') return readDoubled('"', Token::Type::DoubleQuoted, token);
    if (c == '\'') return readDoubled('\'', Token::Type::String, token);
    if (std::isdigit(static_cast<unsigned char>(c)) || ((c == '-' || c == '.') && pos_ + 1 < text_.size() &&
                                                        std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
      std::size_t start = pos_++;
      while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.' ||
                                     text_[pos_] == '_' || text_[pos_] == '%'))
        ++pos_;
      token.text = std::string(text_.substr(start, pos_ - start));
      token.type = parseNumber(token.text) ? Token::Type::Number : Token::Type::Word;
      return true;
    }
    if (isWordChar(c)) {
      std::size_t start = pos_;
      while (pos_ < text_.size() && isWordChar(text_[pos_])) ++pos_;
      token.type = Token::Type::Word;
      token.text = std::string(text_.substr(start, pos_ - start));
      return true;
    }
    for (std::string_view symbol : {"<>", "<=", ">=", "!=", "=", "<", ">", ",", "*", ";"}) {
      if (text_.substr(pos_, symbol.size()) == symbol) {
        pos_ += symbol.size();
        token.type = Token::Type::Symbol;
        token.text = std::string(symbol);
        return true;
      }
    }
    return false;
  }

 private:
  static bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '%' || c == '#' ||
           static_cast<unsigned char>(c) >= 0x80;
  }
  bool readUntil(char close, Token::Type type, Token& token) {
    std::size_t end = text_.find(close, pos_ + 1);
    if (end == std::string_view::npos) return false;
    token.type = type;
    token.text = std::string(text_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
    return true;
  }
  bool readDoubled(char quote, Token::Type type, Token& token) {
    std::string text;
    for (std::size_t i = pos_ + 1; i < text_.size(); ++i) {
      if (text_[i] != quote) {
        text += text_[i];
        continue;
      }
      if (i + 1 < text_.size() && text_[i + 1] == quote) {
        text += quote;
        ++i;
        continue;
      }
      token.type = type;
      token.text = std::move(text);
      pos_ = i + 1;
      return true;
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view sql) : lexer_(sql) { advance(); }

  std::optional<SelectStatement> parse() {
    SelectStatement statement;
    if (!keyword("SELECT")) return std::nullopt;
    if (symbol("*")) {
      // every column
    } else {
      do {
        std::string name;
        if (!name_(name)) return std::nullopt;
        statement.columns.push_back(std::move(name));
      } while (symbol(","));
    }
    if (!keyword("FROM") || !name_(statement.table)) return std::nullopt;
    if (keyword("WHERE")) {
      do {
        Condition condition;
        if (!name_(condition.column) || !comparison(condition.comparison) || !literal(condition.literal))
          return std::nullopt;
        statement.conditions.push_back(std::move(condition));
      } while (keyword("AND"));
    }
    if (keyword("ORDER")) {
      if (!keyword("BY")) return std::nullopt;
      do {
        OrderTerm term;
        if (!name_(term.column)) return std::nullopt;
        if (keyword("DESC")) term.descending = true;
        else keyword("ASC");
        statement.order.push_back(std::move(term));
      } while (symbol(","));
    }
    symbol(";");
    if (!ok_ || token_.type != Token::Type::End) return std::nullopt;
    return statement;
  }

 private:
  void advance() {
    if (!lexer_.next(token_)) {
      ok_ = false;
      token_ = Token{};
    }
  }
  bool keyword(std::string_view word) {
    if (token_.type != Token::Type::Word || !sameName(token_.text, word)) return false;
    advance();
    return true;
  }
  bool symbol(std::string_view text) {
    if (token_.type != Token::Type::Symbol || token_.text != text) return false;
    advance();
    return true;
  }
  bool name_(std::string& name) {
    if (token_.type != Token::Type::Word && token_.type != Token::Type::QuotedName &&
        token_.type != Token::Type::DoubleQuoted)
      return false;
    if (token_.type == Token::Type::Word && isReserved(token_.text)) return false;
    name = token_.text;
    advance();
    return true;
  }
  static bool isReserved(std::string_view word) {
    for (std::string_view reserved : {"SELECT", "FROM", "WHERE", "AND", "ORDER", "BY", "ASC", "DESC", "OR", "NOT"})
      if (sameName(word, reserved)) return true;
    return false;
  }
  bool comparison(Comparison& result) {
    if (token_.type != Token::Type::Symbol) return false;
    const std::string& s = token_.text;
    if (s == "=") result = Comparison::Equal;
    else if (s == "<>" || s == "!=") result = Comparison::NotEqual;
    else if (s == "<") result = Comparison::Less;
    else if (s == "<=") result = Comparison::LessOrEqual;
    else if (s == ">") result = Comparison::Greater;
    else if (s == ">=") result = Comparison::GreaterOrEqual;
    else return false;
    advance();
    return true;
  }
  // Access reads a double-quoted text after a comparison as a string literal.
  bool literal(Value& value) {
    if (token_.type == Token::Type::String || token_.type == Token::Type::DoubleQuoted) {
      value = Value(token_.text);
    } else if (token_.type == Token::Type::Number) {
      value = Value(*parseNumber(token_.text));
    } else if (token_.type == Token::Type::Word && sameName(token_.text, "NULL")) {
      value = Value::null();
    } else {
      return false;
    }
    advance();
    return true;
  }

  Lexer lexer_;
  Token token_;
  bool ok_ = true;
};

}  // namespace

bool looksLikeSelect(std::string_view source) {
  std::size_t start = source.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos || source.size() - start < 7) return false;
  return sameName(source.substr(start, 6), "SELECT") &&
         std::isspace(static_cast<unsigned char>(source[start + 6]));
}

std::optional<SelectStatement> parseSelect(std::string_view sql) { return Parser(sql).parse(); }

std::string quoteName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace platform::db
