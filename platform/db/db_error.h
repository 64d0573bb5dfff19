#pragma once
// Every failure of the database layer (file, table or column missing, damaged file, SQL the
// engine refuses) is one of these; the running conversion ends with its message.
#include <stdexcept>
#include <string>

namespace platform::db {

class DbError : public std::runtime_error {
 public:
  explicit DbError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace platform::db
