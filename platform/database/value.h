#ifndef VERDANPOST_PLATFORM_DATABASE_VALUE_H_
#define VERDANPOST_PLATFORM_DATABASE_VALUE_H_

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace verdanpost::database {

// A value written to the database: null, text or an integer. Values are
// always bound as statement parameters, never spliced into statement text.
class Value {
 public:
  Value() = default;
  static Value Null() { return Value(); }
  static Value Text(std::string text) { return Value(std::move(text)); }
  static Value Integer(int64_t number) { return Value(number); }

  bool is_null() const { return std::holds_alternative<std::monostate>(data_); }
  bool is_integer() const { return std::holds_alternative<int64_t>(data_); }
  const std::string& text() const { return std::get<std::string>(data_); }
  int64_t integer() const { return std::get<int64_t>(data_); }

 private:
  explicit Value(std::string text) : data_(std::move(text)) {}
  explicit Value(int64_t number) : data_(number) {}

  std::variant<std::monostate, std::string, int64_t> data_;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_VALUE_H_
