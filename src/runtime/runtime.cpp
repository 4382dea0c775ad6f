// Initialisation and shutdown of every runtime family in one place.
#include "runtime/runtime.h"

namespace tob {

void init_runtime(ScriptMemory& memory) {
    init_strings();
    init_math();
    init_crc_log();
    init_script_files(memory);
    init_files();
    init_dll(memory);
}

void shutdown_runtime() {
    shutdown_dll();
    shutdown_files();
    shutdown_script_files();
    shutdown_crc_log();
    shutdown_math();
    shutdown_strings();
}

}  // namespace tob
