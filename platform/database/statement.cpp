#include "platform/database/statement.h"

#include <algorithm>
#include <utility>

#include "platform/database/connection.h"

namespace verdanpost::database {

Statement::~Statement() {
  if (connection_ != nullptr) connection_->FreeStatement(std::move(handle_), buffers_);
}

Status Statement::Bind(SQLHDBC connection, const std::vector<Parameter>& parameters) {
  if (Status status = handle_.Allocate(connection); !status.ok()) return status;
  Buffers& buffers = *buffers_;
  SQLUSMALLINT number = 0;
  for (const Parameter& parameter : parameters) {
    ++number;
    SQLRETURN rc;
    if (parameter.value.is_integer()) {
      int64_t& integer = buffers.integers.emplace_back(parameter.value.integer());
      SQLLEN& indicator = buffers.indicators.emplace_back(0);
      rc = SQLBindParameter(handle_.get(), number, SQL_PARAM_INPUT, SQL_C_SBIGINT,
                            parameter.sql_type ? parameter.sql_type : SQL_BIGINT, 0, 0, &integer, 0,
                            &indicator);
    } else {
      std::string& text = buffers.texts.emplace_back(
          parameter.value.is_null() ? std::string() : parameter.value.text());
      SQLLEN& indicator = buffers.indicators.emplace_back(
          parameter.value.is_null() ? SQL_NULL_DATA : static_cast<SQLLEN>(text.size()));
      rc = SQLBindParameter(handle_.get(), number, SQL_PARAM_INPUT, SQL_C_CHAR,
                            parameter.sql_type ? parameter.sql_type : SQL_VARCHAR,
                            std::max<SQLULEN>(text.size(), 1), 0, text.data(),
                            static_cast<SQLLEN>(text.size()), &indicator);
    }
    if (!SQL_SUCCEEDED(rc)) return Error();
  }
  return Status::OK();
}

namespace {

SQLRETURN ExecDirect(SQLHSTMT statement, const std::string& sql) {
  return SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                       static_cast<SQLINTEGER>(sql.size()));
}

// SQL_NO_DATA: a searched DELETE that matched no row.
bool Executed(SQLRETURN rc) { return rc == SQL_NO_DATA || SQL_SUCCEEDED(rc); }

}  // namespace

Status Statement::Execute(SQLHDBC connection, const std::string& sql,
                          const std::vector<Parameter>& parameters) {
  if (Status status = Bind(connection, parameters); !status.ok()) return status;
  return Executed(ExecDirect(handle_.get(), sql)) ? Status::OK() : Error();
}

Status Statement::Execute(const Connection& connection, const std::string& sql,
                          const std::vector<Parameter>& parameters) {
  if (!connection.is_open()) return Status::Invalid("the connection is closed");
  if (Status status = Bind(connection.handle(), parameters); !status.ok()) return status;
  connection_ = &connection;
  if (const auto limit = connection.time_limit(); limit.count() > 0) {
    // The driver's own time-out, where it keeps one: a server that
    // cancels the statement leaves nothing of it behind.
    SQLSetStmtAttr(handle_.get(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(limit.count())), 0);
  }
  auto rc = std::make_shared<SQLRETURN>(SQL_ERROR);
  Status waited = connection.Wait(
      [rc, handle = handle_.get(), sql, buffers = buffers_] { *rc = ExecDirect(handle, sql); });
  if (!waited.ok()) return waited;
  return Executed(*rc) ? Status::OK() : Error();
}

Status Statement::Describe(std::vector<std::string>* names, std::vector<SQLSMALLINT>* types) {
  SQLSMALLINT count = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(handle_.get(), &count))) return Error();
  names->clear();
  types->clear();
  for (SQLUSMALLINT column = 1; column <= count; ++column) {
    SQLCHAR name[256] = {};
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!SQL_SUCCEEDED(SQLDescribeCol(handle_.get(), column, name, sizeof(name), &name_length,
                                      &type, &size, &digits, &nullable))) {
      return Error();
    }
    names->emplace_back(reinterpret_cast<const char*>(name));
    types->push_back(type);
  }
  return Status::OK();
}

Status Statement::Fetch(bool* has_row) {
  SQLRETURN rc = SQLFetch(handle_.get());
  *has_row = SQL_SUCCEEDED(rc);
  if (rc == SQL_NO_DATA || *has_row) return Status::OK();
  return Error();
}

Status Statement::GetText(SQLUSMALLINT column, std::optional<std::string>* value) {
  std::string text;
  char buffer[1024];
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc =
        SQLGetData(handle_.get(), column, SQL_C_CHAR, buffer, sizeof(buffer), &indicator);
    if (rc == SQL_NO_DATA) break;  // every part already read
    if (!SQL_SUCCEEDED(rc)) return Error();
    if (indicator == SQL_NULL_DATA) {
      value->reset();
      return Status::OK();
    }
    // A truncated part fills the buffer but for its terminating NUL.
    bool truncated = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof(buffer));
    text.append(buffer, truncated ? sizeof(buffer) - 1 : static_cast<size_t>(indicator));
    if (!truncated) break;
  }
  *value = std::move(text);
  return Status::OK();
}

Status Statement::RowCount(SQLLEN* rows) {
  if (!SQL_SUCCEEDED(SQLRowCount(handle_.get(), rows))) return Error();
  return Status::OK();
}

}  // namespace verdanpost::database
