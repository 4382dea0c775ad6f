// The one export of the text hook library libmorvane_hook.so. A program that
// refers to it has the loader map the library (and run its attach) before
// `main`; calling it does nothing.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

void morvane_hook_init(void);

#ifdef __cplusplus
}
#endif
