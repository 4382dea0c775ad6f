/* Native plug-ins for games: what a shared library called through dll_load,
 * dll_proc and dll_call may count on.
 *
 * Every parameter and every result of a function scripts call is one 32-bit
 * word (uint32_t); a script passes its arguments in order and gets the
 * function's uint32_t result. Floats travel as their bit patterns. Pointers a
 * script passes are script addresses, not host addresses: translate them with
 * the host's `pointer` before touching the bytes.
 *
 * A library that exports `tob_plugin_attach` is given the host once, when
 * dll_load loads it; the table stays valid until the library is unloaded.
 */
#ifndef TOB_PLUGIN_H
#define TOB_PLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TOB_PLUGIN_VERSION 1u

/* Window command: the seven words the plug-in query fills at wparam. */
#define TOB_PLUGIN_QUERY 1224u

typedef struct TobPluginHost {
    uint32_t size;    /* sizeof(TobPluginHost) as the engine knows it */
    uint32_t version; /* TOB_PLUGIN_VERSION */
    /* The host bytes of script memory at [address, address + length); NULL
     * when any of them lies outside script memory. */
    void* (*pointer)(uint32_t address, uint32_t length);
    /* Sends a window command and returns its result; callable from any
     * thread. TOB_PLUGIN_QUERY writes the stop word's address, the window
     * state block's address, the instance and window tokens, Width, Height
     * and Depth as seven words at script address wparam. */
    uint32_t (*send_message)(uint32_t message, uint32_t wparam, uint32_t lparam);
} TobPluginHost;

/* Exported by the plug-in (optional). */
typedef void (*TobPluginAttach)(const TobPluginHost* host);

#ifdef __cplusplus
}
#endif

#endif
