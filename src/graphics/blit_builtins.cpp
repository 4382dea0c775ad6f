#include "graphics/graphics.h"
#include "vm/trap.h"
namespace tob {
std::span<const TrapBinding> blit_trap_bindings() { return {}; }
}
