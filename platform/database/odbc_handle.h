#ifndef VERDANPOST_PLATFORM_DATABASE_ODBC_HANDLE_H_
#define VERDANPOST_PLATFORM_DATABASE_ODBC_HANDLE_H_

#include <sql.h>
#include <sqlext.h>

#include <utility>

#include "platform/database/status.h"

namespace verdanpost::database {

// Reads every diagnostic record of |handle| into one error text, records
// separated by "; ". Falls back to a fixed text when the driver left none.
Status OdbcError(SQLSMALLINT handle_type, SQLHANDLE handle);

// Owns one ODBC environment handle, set to ODBC 3 behaviour.
class EnvironmentHandle {
 public:
  EnvironmentHandle() = default;
  EnvironmentHandle(EnvironmentHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)) {}
  EnvironmentHandle& operator=(EnvironmentHandle&& other) noexcept;
  EnvironmentHandle(const EnvironmentHandle&) = delete;
  EnvironmentHandle& operator=(const EnvironmentHandle&) = delete;
  ~EnvironmentHandle() { Reset(); }

  Status Allocate();
  void Reset();
  SQLHENV get() const { return handle_; }
  // Gives up the handle without freeing it.
  SQLHENV release() { return std::exchange(handle_, nullptr); }

 private:
  SQLHENV handle_ = nullptr;
};

// Owns one ODBC connection handle; releasing it disconnects first when it
// is connected.
class ConnectionHandle {
 public:
  ConnectionHandle() = default;
  ConnectionHandle(ConnectionHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)),
        connected_(std::exchange(other.connected_, false)) {}
  ConnectionHandle& operator=(ConnectionHandle&& other) noexcept;
  ConnectionHandle(const ConnectionHandle&) = delete;
  ConnectionHandle& operator=(const ConnectionHandle&) = delete;
  ~ConnectionHandle() { Reset(); }

  Status Allocate(SQLHENV environment);
  // Marks the handle connected so that Reset() and Disconnect() disconnect.
  void set_connected() { connected_ = true; }
  // Disconnects and frees, reporting a failed disconnect.
  Status Disconnect();
  void Reset();
  SQLHDBC get() const { return handle_; }
  // Gives up the handle without disconnecting or freeing it.
  SQLHDBC release() {
    connected_ = false;
    return std::exchange(handle_, nullptr);
  }

 private:
  SQLHDBC handle_ = nullptr;
  bool connected_ = false;
};

// Owns one ODBC statement handle. A statement lives inside one function.
class StatementHandle {
 public:
  StatementHandle() = default;
  StatementHandle(StatementHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)) {}
  StatementHandle& operator=(StatementHandle&& other) noexcept;
  StatementHandle(const StatementHandle&) = delete;
  StatementHandle& operator=(const StatementHandle&) = delete;
  ~StatementHandle() { Reset(); }

  Status Allocate(SQLHDBC connection);
  void Reset();
  SQLHSTMT get() const { return handle_; }
  // Gives up the handle without freeing it.
  SQLHSTMT release() { return std::exchange(handle_, nullptr); }

 private:
  SQLHSTMT handle_ = nullptr;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_ODBC_HANDLE_H_
