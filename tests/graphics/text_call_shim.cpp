// A stand-in for a hook library, preloaded by tests: it takes the place of the
// three text functions a hook replaces, counts the calls and passes them on to
// the platform text library. The first call of each is announced on standard
// error, so a test running the whole engine can see its text arrive here.
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/winapi.h"

namespace {

std::atomic<int> fonts_made{0}, extents{0}, outputs{0};

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void count(std::atomic<int>& n, const char* name) {
    if (n.fetch_add(1) == 0) std::fprintf(stderr, "text shim: first %s call\n", name);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HFONT CreateFontIndirectA(const LOGFONTA* lf) {
    static auto next = real<HFONT (*)(const LOGFONTA*)>("CreateFontIndirectA");
    count(fonts_made, "CreateFontIndirectA");
    return next(lf);
}

__attribute__((visibility("default"))) BOOL GetTextExtentPoint32A(HDC dc, const char* text,
                                                                  int length, SIZE* size) {
    static auto next = real<BOOL (*)(HDC, const char*, int, SIZE*)>("GetTextExtentPoint32A");
    count(extents, "GetTextExtentPoint32A");
    return next(dc, text, length, size);
}

__attribute__((visibility("default"))) BOOL TextOutA(HDC dc, int x, int y, const char* text,
                                                     int length) {
    static auto next = real<BOOL (*)(HDC, int, int, const char*, int)>("TextOutA");
    count(outputs, "TextOutA");
    return next(dc, x, y, text, length);
}

// Calls seen so far of the function `name`; -1 for another name.
__attribute__((visibility("default"))) int text_shim_calls(const char* name) {
    if (!std::strcmp(name, "CreateFontIndirectA")) return fonts_made;
    if (!std::strcmp(name, "GetTextExtentPoint32A")) return extents;
    if (!std::strcmp(name, "TextOutA")) return outputs;
    return -1;
}

}  // extern "C"
