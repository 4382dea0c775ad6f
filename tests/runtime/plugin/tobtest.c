/* A plug-in for tests, built from the public header alone. */
#include <stddef.h>
#include <string.h>

#include "runtime/tob_plugin.h"

static const TobPluginHost* g_host;
static uint32_t g_attached;

void tob_plugin_attach(const TobPluginHost* host) {
    if (host && host->size >= sizeof(TobPluginHost) && host->version == TOB_PLUGIN_VERSION) {
        g_host = host;
        g_attached++;
    }
}

uint32_t tob_attached(void) {
    return g_attached;
}

uint32_t tob_constant(void) {
    return 0x1234u;
}

uint32_t tob_all_ones(void) {
    return 0xFFFFFFFFu;
}

/* Ten arguments: some in registers, some on the stack, each weighted by its
 * place so that any reordering shows. */
uint32_t tob_weighted(uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4, uint32_t a5,
                      uint32_t a6, uint32_t a7, uint32_t a8, uint32_t a9, uint32_t a10) {
    return a1 * 1u + a2 * 2u + a3 * 3u + a4 * 4u + a5 * 5u + a6 * 6u + a7 * 7u + a8 * 8u +
           a9 * 9u + a10 * 10u;
}

/* Eight arguments: the most a call passes without libffi, two of them on the
 * stack of an x86-64 call. */
uint32_t tob_weighted8(uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4, uint32_t a5,
                       uint32_t a6, uint32_t a7, uint32_t a8) {
    return a1 * 1u + a2 * 2u + a3 * 3u + a4 * 4u + a5 * 5u + a6 * 6u + a7 * 7u + a8 * 8u;
}

uint32_t tob_add4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a + b + c + d;
}

/* Writes `value` at script address `address`; 1 when it lies in script memory. */
uint32_t tob_write(uint32_t address, uint32_t value) {
    void* p = g_host ? g_host->pointer(address, 4) : NULL;
    if (!p) return 0;
    memcpy(p, &value, 4);
    return 1;
}

/* Asks the window for the plug-in query into the 28 bytes at `address` and
 * returns the stop word's address, the first word written. */
uint32_t tob_query(uint32_t address) {
    uint32_t stop = 0;
    void* p;
    if (!g_host) return 0;
    g_host->send_message(TOB_PLUGIN_QUERY, address, 0);
    p = g_host->pointer(address, 28);
    if (!p) return 0;
    memcpy(&stop, p, 4);
    return stop;
}
