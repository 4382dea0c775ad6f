// Test fixture for the graphics built-ins: script memory with a stack, the
// plane and blit families bound on a trap table, and helpers to call a
// built-in by name with real argument words and to place data in script memory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/geometry.h"
#include "graphics/graphics.h"
#include "graphics/plane_table.h"
#include "base/error_report.h"
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
    ScriptMemory mem{256u << 20};
    Machine machine;
    TrapTable table;
    TrapDispatcher dispatcher{machine, table};
    VmContext ctx{};
    ScriptAddr code = 0;

    GraphicsFixture() {
        machine.memory = &mem;
        ctx.stack_size = 4096;
        ctx.stack_base = mem.allocate(ctx.stack_size, BlockKind::Stack);
        code = mem.allocate(64, BlockKind::Program);
        table.bind_all(plane_builtins());
        table.bind_all(blit_builtins());
        init_graphics_planes(mem);
    }
    ~GraphicsFixture() override { shutdown_graphics_planes(); }

    // Calls a built-in with argument words; returns its result (r0).
    uint32_t call(const char* name, std::vector<uint32_t> args) {
        ctx.r[kStackPointer] = ctx.stack_base + ctx.stack_size;
        for (auto it = args.rbegin(); it != args.rend(); ++it) push(*it);
        uint32_t bytes = uint32_t(args.size()) * 4;
        uint8_t add[6] = {0x3B, 0x77, uint8_t(bytes), uint8_t(bytes >> 8), 0, 0};
        std::memcpy(mem.host(code, 6), add, 6);
        push(code);
        int n = trap_number(name);
        EXPECT_GE(n, 0) << name;
        dispatcher.dispatch(uint32_t(n), ctx);
        return ctx.r[0];
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

  private:
    void push(uint32_t v) {
        ctx.r[kStackPointer] -= 4;
        mem.write32(ctx.r[kStackPointer], v);
    }
};

}  // namespace tob::test
