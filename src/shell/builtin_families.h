// Every built-in family of the engine, bound into a trap table in one call.
#pragma once

#include <span>

#include "vm/trap.h"

namespace tob {

std::span<const BuiltinFamily> builtin_families();
// Binds every family; the report lists what the list gets wrong.
BindReport bind_all_families(TrapTable& table);

}  // namespace tob
