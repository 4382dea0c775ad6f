// Type records, sizes and identity.
#include "compiler/types.h"

namespace tob::compiler {

uint32_t TypeTable::index(TypeRef t) const {
    // A reference is always one this table handed out; anything else is a
    // compiler fault, never a reason to read outside the table.
    if (t <= 0 || uint32_t(t) >= kWords) diag_.fail(Msg::Internal);
    return uint32_t(t);
}

int32_t TypeTable::field(TypeRef t, uint32_t n) const {
    uint32_t i = index(t) + n;
    if (i >= kWords) diag_.fail(Msg::Internal);
    return words_[i];
}

TypeRef TypeTable::allocate(std::initializer_list<int32_t> record) {
    const uint32_t size = uint32_t(record.size());
    if (up_ + size > down_) diag_.fail(Msg::HeapOverflow);
    uint32_t at;
    if (global_) {
        at = up_;
        up_ += size;
    } else {
        down_ -= size;
        at = down_;
    }
    uint32_t i = at;
    for (int32_t w : record) words_[i++] = w;
    return TypeRef(at);
}

TypeRef TypeTable::pointer_to(TypeRef target) {
    if (!global_) return allocate({int32_t(TypeTag::Pointer), target});
    auto it = global_pointers_.find(target);
    if (it != global_pointers_.end()) return it->second;
    TypeRef p = allocate({int32_t(TypeTag::Pointer), target});
    global_pointers_.emplace(target, p);
    return p;
}

TypeRef TypeTable::array_of(TypeRef element, int32_t count) {
    return allocate({int32_t(TypeTag::Array), element, count});
}

TypeRef TypeTable::struct_type(bool is_union, int32_t number) {
    return allocate({int32_t(is_union ? TypeTag::Union : TypeTag::Struct), -1, number});
}

TypeRef TypeTable::function_returning(TypeRef result) {
    return allocate({int32_t(TypeTag::Function), result});
}

void TypeTable::set_struct_size(TypeRef t, int64_t size) {
    if (size >= kMaxObjectSize) diag_.fail(Msg::Declaration);
    index(t);
    words_[uint32_t(t) + 1] = int32_t(size);
}

uint32_t TypeTable::size_of(TypeRef t) const {
    // Arrays of arrays are walked, not recursed: declarators may nest deeply.
    int64_t count = 1;
    while (t > 0 && tag(t) == TypeTag::Array) {
        count *= array_count(t);
        if (count >= kMaxObjectSize) count = kMaxObjectSize;
        t = target(t);
    }
    int64_t size;
    if (is_basic(t)) {
        size = basic_size(t);
    } else {
        switch (tag(t)) {
            case TypeTag::Pointer:
                size = 4;
                break;
            case TypeTag::Struct:
            case TypeTag::Union:
                if (struct_size(t) < 0) diag_.fail(Msg::Declaration);
                size = struct_size(t);
                break;
            default:
                diag_.fail(Msg::Declaration);
        }
    }
    const int64_t total = count * size;
    if (total >= kMaxObjectSize) diag_.fail(Msg::Declaration);
    return uint32_t(total);
}

uint32_t TypeTable::element_size(TypeRef t) const {
    TypeRef e = target(t);
    if (is_basic(e)) return basic_size(e);
    if (is_function(e) || (is_struct(e) && struct_size(e) < 0)) return 1;
    return size_of(e);
}

bool TypeTable::same(TypeRef a, TypeRef b) const {
    // Derived types nest only as deep as declarators do, which is bounded.
    for (;;) {
        if (a == b) return true;
        if (a <= 0 || b <= 0 || tag(a) != tag(b)) return false;
        switch (tag(a)) {
            case TypeTag::Struct:
            case TypeTag::Union:
                return struct_number(a) == struct_number(b);
            case TypeTag::Array:
                if (array_count(a) != array_count(b)) return false;
                break;
            default:
                break;
        }
        a = target(a);
        b = target(b);
    }
}

}  // namespace tob::compiler
