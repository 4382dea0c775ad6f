// Types of the script language: seven basic types as fixed negative references
// and derived types (pointer, array, struct or union, function) as small word
// records. Records of global declarations are taken upward and stay for the
// whole compilation; local ones are taken downward and given back in bulk.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>

#include "compiler/diagnostics.h"

namespace tob::compiler {

using TypeRef = int32_t;

namespace type {
inline constexpr TypeRef Long = -1;  // also int, void, signed
inline constexpr TypeRef Short = -2;
inline constexpr TypeRef Char = -3;
inline constexpr TypeRef ULong = -4;
inline constexpr TypeRef UShort = -5;
inline constexpr TypeRef UChar = -6;
inline constexpr TypeRef Float = -7;
}  // namespace type

enum class TypeTag : int32_t { Pointer = 1, Array = 2, Struct = 3, Union = 4, Function = 5 };

constexpr bool is_basic(TypeRef t) {
    return t < 0 && t >= type::Float;
}
constexpr bool is_integer(TypeRef t) {
    return is_basic(t) && t != type::Float;
}
constexpr bool is_unsigned(TypeRef t) {
    return t == type::ULong || t == type::UShort || t == type::UChar;
}
// Width in bytes of a basic type.
constexpr uint32_t basic_size(TypeRef t) {
    switch (t) {
        case type::Short:
        case type::UShort:
            return 2;
        case type::Char:
        case type::UChar:
            return 1;
        default:
            return 4;
    }
}
// What reading a value of basic type `t` gives: char and short widen to long,
// their unsigned forms to unsigned long.
constexpr TypeRef widened(TypeRef t) {
    if (t == type::Short || t == type::Char) return type::Long;
    if (t == type::UShort || t == type::UChar) return type::ULong;
    return t;
}

class TypeTable {
  public:
    static constexpr uint32_t kWords = 4096;
    // Sizes at or beyond this are refused: addresses stay below 2^31.
    static constexpr int64_t kMaxObjectSize = int64_t(1) << 30;

    explicit TypeTable(Diagnostics& diag) : diag_(diag) {}

    // Where new records go: upward (global) or downward (local).
    void set_global(bool global) { global_ = global; }
    bool global() const { return global_; }

    TypeRef pointer_to(TypeRef target);
    TypeRef array_of(TypeRef element, int32_t count);
    TypeRef struct_type(bool is_union, int32_t number);  // incomplete until its size is set
    TypeRef function_returning(TypeRef result);

    TypeTag tag(TypeRef t) const { return TypeTag(field(t, 0)); }
    bool is(TypeRef t, TypeTag g) const { return t > 0 && tag(t) == g; }
    bool is_pointer(TypeRef t) const { return is(t, TypeTag::Pointer); }
    bool is_array(TypeRef t) const { return is(t, TypeTag::Array); }
    bool is_function(TypeRef t) const { return is(t, TypeTag::Function); }
    bool is_struct(TypeRef t) const { return is(t, TypeTag::Struct) || is(t, TypeTag::Union); }
    // Scalars: basic types and pointers.
    bool is_scalar(TypeRef t) const { return is_basic(t) || is_pointer(t); }
    // Pointer target, array element or function result.
    TypeRef target(TypeRef t) const { return field(t, 1); }
    int32_t array_count(TypeRef t) const { return field(t, 2); }
    int32_t struct_size(TypeRef t) const { return field(t, 1); }
    int32_t struct_number(TypeRef t) const { return field(t, 2); }
    void set_struct_size(TypeRef t, int64_t size);

    // Size in bytes; message 8 for functions and incomplete structs.
    uint32_t size_of(TypeRef t) const;
    // Size of what a pointer or array steps over (1 for anything sizeless).
    uint32_t element_size(TypeRef t) const;
    // Structural identity.
    bool same(TypeRef a, TypeRef b) const;

    // Downward records: a mark to give back to, and giving everything back.
    uint32_t down_mark() const { return down_; }
    void release_down(uint32_t mark) {
        if (mark > down_) down_ = mark;
    }
    void release_all_down() { down_ = kWords; }

  private:
    uint32_t index(TypeRef t) const;
    int32_t field(TypeRef t, uint32_t n) const;
    TypeRef allocate(std::initializer_list<int32_t> record);

    Diagnostics& diag_;
    std::array<int32_t, kWords> words_{};
    // Pointer records of the upward area, shared: a global `char *` declared
    // a thousand times needs one record.
    std::unordered_map<TypeRef, TypeRef> global_pointers_;
    uint32_t up_ = 1;
    uint32_t down_ = kWords;
    bool global_ = true;
};

}  // namespace tob::compiler
