// One SQL value as the engine passes it around: NULL, integer, real or text.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace vsql {

using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

inline bool is_null(const Value& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace vsql
