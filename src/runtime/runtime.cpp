// Binding, initialisation and shutdown of every runtime family in one place.
#include "runtime/runtime.h"

#include "vm/trap.h"

namespace tob {

int bind_runtime(TrapTable& table) {
    int unknown = 0;
    unknown += table.bind_all({kStringTraps, kStringTrapCount});
    unknown += table.bind_all({kMathTraps, kMathTrapCount});
    unknown += table.bind_all({kKeyframeTraps, kKeyframeTrapCount});
    unknown += table.bind_all({kRectTraps, kRectTrapCount});
    unknown += table.bind_all({kCrcLogTraps, kCrcLogTrapCount});
    unknown += table.bind_all({kScriptFileTraps, kScriptFileTrapCount});
    return unknown;
}

void init_runtime(ScriptMemory& memory) {
    init_strings();
    init_math();
    init_keyframes();
    init_rects();
    init_crc_log();
    init_script_files(memory);
}

void shutdown_runtime() {
    shutdown_script_files();
    shutdown_crc_log();
    shutdown_rects();
    shutdown_keyframes();
    shutdown_math();
    shutdown_strings();
}

}  // namespace tob
