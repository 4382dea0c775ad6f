// The exported-function list shared by successive compilations.
#include "compiler/exports.h"

#include <algorithm>

namespace tob::compiler {

bool ExportedFunctions::put_locked(const ExportedFunction& f) {
    for (ExportedFunction& e : list_) {
        if (e.name == f.name) {
            e = f;
            ++generation_;
            return true;
        }
    }
    if (list_.size() >= kCapacity) return false;
    list_.push_back(f);
    ++generation_;
    return true;
}

bool ExportedFunctions::put(const ExportedFunction& f) {
    std::lock_guard lock(mutex_);
    return put_locked(f);
}

bool ExportedFunctions::put_all(std::span<const ExportedFunction> list, uint64_t generation) {
    std::lock_guard lock(mutex_);
    if (generation != generation_) return false;
    // Room for the names that are not there yet (a name may come twice).
    size_t fresh = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        auto same = [&](const ExportedFunction& e) { return e.name == list[i].name; };
        if (std::none_of(list_.begin(), list_.end(), same) &&
            std::none_of(list.begin(), list.begin() + std::ptrdiff_t(i), same))
            ++fresh;
    }
    if (list_.size() + fresh > kCapacity) return false;
    for (const ExportedFunction& f : list) put_locked(f);
    return true;
}

uint64_t ExportedFunctions::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

std::optional<ExportedFunction> ExportedFunctions::find(std::string_view name) const {
    std::lock_guard lock(mutex_);
    for (const ExportedFunction& e : list_)
        if (e.name == name) return e;
    return std::nullopt;
}

void ExportedFunctions::clear() {
    std::lock_guard lock(mutex_);
    list_.clear();
    ++generation_;
}

size_t ExportedFunctions::size() const {
    std::lock_guard lock(mutex_);
    return list_.size();
}

}  // namespace tob::compiler
