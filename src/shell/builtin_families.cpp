// The one list of built-in families. Binding checks that every built-in is
// bound exactly once. Adding a family: write
// src/<subsystem>/<family>_builtins.cpp, declare its `<family>_builtins()` in
// the subsystem's header and add one row to kFamilies.
#include "shell/builtin_families.h"

#include "graphics/graphics.h"
#include "graphics/pages.h"
#include "media/media.h"
#include "net/net.h"
#include "runtime/runtime.h"
#include "shell/engine_clock.h"
#include "shell/menu_model.h"
#include "shell/system_values.h"
#include "vm/engine.h"

namespace tob {
namespace {

constexpr BuiltinFamily kFamilies[] = {
    // clang-format off: one family a line
    {"thread", thread_builtins},
    {"system", system_builtins},
    {"clock", clock_builtins},
    {"menu", menu_builtins},
    {"string", string_builtins},
    {"math", math_builtins},
    {"keyframe", keyframe_builtins},
    {"rect", rect_builtins},
    {"crc_log", crc_log_builtins},
    {"script_file", script_file_builtins},
    {"plane", plane_builtins},
    {"blit", blit_builtins},
    {"page", gfx::page_builtins},
    {"palette", gfx::palette_builtins},
    {"sprite", sprite_builtins},
    {"hit", hit_builtins},
    {"input", input_builtins},
    {"sound", sound_builtins},
    {"midi", midi_builtins},
    {"cd", cd_builtins},
    {"video", video_builtins},
    {"regex", regex_builtins},
    {"net", net_builtins},
    {"effect", effect_builtins},
    {"p3d", p3d_builtins},
    {"text", gfx::text_builtins},
    {"ini", ini_builtins},
    {"files", files_builtins},
    {"desktop", desktop_builtins},
    {"dll", dll_builtins},
    // clang-format on
};

}  // namespace

std::span<const BuiltinFamily> builtin_families() {
    return kFamilies;
}

BindReport bind_all_families(TrapTable& table) {
    return table.bind_families(kFamilies);
}

}  // namespace tob
