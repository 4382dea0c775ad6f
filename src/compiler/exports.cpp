// The exported-function list shared by successive compilations.
#include "compiler/exports.h"

namespace tob::compiler {

bool ExportedFunctions::put(const ExportedFunction& f) {
    std::lock_guard lock(mutex_);
    for (ExportedFunction& e : list_) {
        if (e.name == f.name) {
            e = f;
            return true;
        }
    }
    if (list_.size() >= kCapacity) return false;
    list_.push_back(f);
    return true;
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
}

size_t ExportedFunctions::size() const {
    std::lock_guard lock(mutex_);
    return list_.size();
}

}  // namespace tob::compiler
