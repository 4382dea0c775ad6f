// Test fixture for the graphics built-ins: script memory with a stack, the
// plane and blit families bound on the call site's trap table, and helpers to
// call a built-in by name with real argument words and to place data in script
// memory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/geometry.h"
#include "graphics/graphics.h"
#include "graphics/plane_table.h"
#include "base/error_report.h"
#include "../support/call_site.h"
#include "vm/trap.h"

namespace tob::test {

// Collects error reports for the lifetime of the object.
struct CapturedReports {
    std::vector<std::string> texts;
    ErrorSink previous;
    int32_t previous_level;
    CapturedReports() {
        previous = set_error_sink({[this](const std::string& t) { texts.push_back(t); }, true});
        previous_level = set_error_level(2);
    }
    ~CapturedReports() {
        set_error_sink(previous);
        set_error_level(previous_level);
    }
};

class GraphicsFixture : public ::testing::Test {
  protected:
    CallSite site{256u << 20};
    ScriptMemory& mem = site.mem;
    TrapTable& table = site.table;

    GraphicsFixture() {
        table.bind_all(plane_builtins());
        table.bind_all(blit_builtins());
        init_graphics_planes(mem);
    }
    ~GraphicsFixture() override { shutdown_graphics_planes(); }

    // Calls a built-in with argument words; returns its result (r0).
    uint32_t call(const char* name, std::vector<uint32_t> args) {
        EXPECT_GE(trap_number(name), 0) << name;
        return site.call(name, args);
    }

    // A block of script memory holding `bytes`.
    ScriptAddr put(const void* bytes, size_t n) {
        ScriptAddr a = mem.allocate(uint32_t(n));
        std::memcpy(mem.host(a, uint32_t(n)), bytes, n);
        return a;
    }
    ScriptAddr put_string(const std::string& s) { return put(s.c_str(), s.size() + 1); }
    ScriptAddr put_words(const std::vector<uint32_t>& w) {
        ScriptAddr a = mem.allocate(uint32_t(w.size() * 4));
        for (size_t i = 0; i < w.size(); ++i) mem.write32(a + uint32_t(4 * i), w[i]);
        return a;
    }
    ScriptAddr put_rect(int32_t l, int32_t t, int32_t r, int32_t b) {
        return put_words({uint32_t(l), uint32_t(t), uint32_t(r), uint32_t(b)});
    }
    uint32_t word_at(ScriptAddr a) {
        uint32_t v = 0;
        mem.read32(a, v);
        return v;
    }

    gfx::Plane* plane(uint32_t n) { return gfx::plane_table().get(n); }

};

}  // namespace tob::test
