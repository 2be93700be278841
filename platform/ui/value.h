// One value of the user-interface model: a control value, an attribute, a list item's value.
#pragma once

#include <cstdint>
#include <string>

namespace vui {

struct Value {
    enum Kind { Int, Double, Text };
    Kind kind = Int;
    std::int64_t i = 0;
    double d = 0.0;
    std::string s;

    static Value of(std::int64_t v) { Value x; x.kind = Int; x.i = v; return x; }
    static Value of(double v) { Value x; x.kind = Double; x.d = v; return x; }
    static Value of(std::string v) { Value x; x.kind = Text; x.s = std::move(v); return x; }

    bool is_number() const { return kind != Text; }
    // Numbers convert between each other; doubles become integers truncated toward zero.
    std::int64_t as_int() const { return kind == Int ? i : kind == Double ? static_cast<std::int64_t>(d) : 0; }
    double as_double() const { return kind == Int ? static_cast<double>(i) : kind == Double ? d : 0.0; }
    bool operator==(const Value& o) const
    {
        if (kind == Text || o.kind == Text) return kind == o.kind && s == o.s;
        if (kind == Int && o.kind == Int) return i == o.i;
        return as_double() == o.as_double();
    }
};

}  // namespace vui
