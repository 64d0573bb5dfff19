#include "platform/db/slots.h"

namespace platform::db {

void OpenDbConnection(ConnectionSlot& slot, const std::filesystem::path& path, const OpenOptions& options) {
  auto connection = Connection::open(path, options);
  if (slot) slot->close();
  slot = std::move(connection);
}

void OpenDbRecordset(RecordsetSlot& slot, Connection& connection, std::string_view source) {
  slot.reset();
  slot = connection.openRecordset(source);
}

void CloseDbConnection(ConnectionSlot& slot) {
  if (slot) slot->close();
  slot.reset();
}

}  // namespace platform::db
