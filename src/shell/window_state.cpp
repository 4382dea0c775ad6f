#include "shell/window_state.h"

namespace tob {

WindowState& window_state() {
    static WindowState state;
    return state;
}

}  // namespace tob
