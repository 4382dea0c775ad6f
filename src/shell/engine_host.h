// The window thread's side of a run: device start-up, the script engine with
// every built-in family bound, the loop that serves window commands, and
// device shutdown.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

#include "base/error_report.h"
#include "compiler/exports.h"
#include "compiler/source_reader.h"
#include "graphics/pages.h"
#include "platform/command_queue.h"
#include "platform/event_feeder.h"
#include "platform/window.h"
#include "shell/app.h"
#include "shell/debug_view.h"
#include "shell/menu_view.h"
#include "shell/plugin_query.h"
#include "vm/engine.h"

namespace tob {

class EngineHost {
  public:
    explicit EngineHost(const LaunchOptions& options);
    ~EngineHost();
    // Starts the devices and the main script, runs the loop, shuts down.
    // Returns the exit status.
    int run();

    ScriptEngine& engine() { return *engine_; }
    CommandQueue& window_queue() { return queue_; }

    // Handles one window event (also used by tests with made-up events).
    void handle(const platform::WindowEvent& event);
    // The full-screen switch; 0 without the display-mode device (`Draw` 0).
    uint32_t switch_fullscreen(bool on);
    // The display mode alone: 0 without `Draw`, else 1 after any attempt.
    uint32_t change_display_mode(bool on);
    // A numbered window command as plug-in libraries send it (1214 the
    // full-screen switch, 1224 the plug-in query): runs on the window
    // thread; the sender waits for its result. Unknown numbers give 0.
    uint32_t send_window_command(uint32_t message, uint32_t wparam, uint32_t lparam);
    // The plug-in query's window-state block (0 outside engine initialisation).
    ScriptAddr window_state_block() const { return state_block_.address(); }
    // How the engine reads script sources: through the archive-aware,
    // compressed-file-aware file layer, relative to the module directory.
    static compiler::SourceReader source_reader();

  private:
    static constexpr int kVirtualKeyF8 = 119;
    bool create_window();
    // False when start-up cannot go on (the screen page could not be made).
    bool start_devices();
    void stop_devices();
    void pause();
    void resume();
    // One drop of files: a restart, then each ".c" file compiled (not run).
    void restart_with_drop(const std::vector<std::string>& paths_utf8);
    int exit_status(bool timed_out, bool loaded) const;
    uint32_t window_command(uint32_t message, uint32_t wparam, uint32_t lparam);
    void dispatch(const platform::WindowEvent& e);
    // Focus of the main or the debug window; the application is active while
    // either has it (pausing with `GlobalFocus` 0 when neither has).
    void set_focus(bool debug_window, bool focused);
    void apply_activation();

    // The debug output window (engine_host_debug.cpp): made with `DebugMode`
    // in a window session, shown beside the main window; false when it
    // cannot be made.
    bool start_debug_window();
    void stop_debug_window();
    // Moves what scripts sent into the window.
    void flush_debug_output();
    void debug_window_event(const platform::WindowEvent& e);
    void show_debug_window(bool shown);
    void draw_debug_window();
    // F8: shows or hides the debug output window.
    void toggle_debug_window();

    // The input devices (engine_host_input.cpp): their hooks for the
    // built-ins, the pointer outside the window, recorded events.
    void start_input();
    void stop_input();
    // Where the input built-ins' logical point (x, y) lies in the window.
    void logical_to_window(int32_t x, int32_t y, int& wx, int& wy) const;
    // Window thread, once a loop: the cursor where no event tells of it,
    // and the recorded events that fell due.
    void poll_input();

    // Brings the window-state block up to date with the window.
    void refresh_state_block();
    // Paints the view page (a part of it, or all) and shows it.
    void present(std::optional<gfx::Box> area);
    bool write_screenshot(const std::filesystem::path& file);

    // The self-drawn menu bar (engine_host_menu.cpp).
    void start_menu();
    // Takes a newly built or redrawn bar from the menu state.
    void refresh_menu();
    // Pointer events and Escape that belong to the menu; true when used up.
    // Otherwise moves the event's y from the window into the client area.
    bool menu_handles(platform::WindowEvent& e);
    // Keys, typed text and focus loss as the menu sees them.
    bool menu_handles_key(const platform::WindowEvent& e);
    // Shows or hides the bar; in full screen it is shown over the picture.
    void set_menu_attached(bool attached);
    void update_client_size();
    void run_menu(int32_t id);
    // Restart from the menu: stop the scripts, initialise again, run the
    // main script anew.
    void restart();
    // The view page with the bar and open popups over it, as shown.
    const gfx::Frame& compose();
    int frame_height() const;
    int bar_pixels(int window_height) const;

    LaunchOptions options_;
    CommandQueue queue_;
    std::unique_ptr<platform::Window> window_;
    std::unique_ptr<ScriptEngine> engine_;
    bool debug_visible_ = false;  // headless: F8 has nothing to show
    bool main_focused_ = true, debug_focused_ = false;
    bool activation_pending_ = false;
    bool batching_events_ = false;  // the run loop is taking a batch of events
    // The debug output window (engine_host_debug.cpp).
    DebugInbox debug_inbox_;
    std::unique_ptr<platform::Font> debug_font_;
    std::unique_ptr<DebugView> debug_view_;
    std::unique_ptr<platform::Window> debug_window_;
    std::vector<uint32_t> debug_frame_;
    gfx::Frame frame_;
    bool frame_current_ = false;        // `frame_` holds the whole page as last painted
    gfx::Frame video_frame_;            // the page with the video over it
    bool painting_for_script_ = false;  // `update` from a script thread is being served
    bool repaint_pending_ = false;      // the view page changed hands while the scripts held it
    bool dragging_ = false;
    bool drop_shift_ = false, drop_ctrl_ = false;
    compiler::ExportedFunctions exports_;
    int drag_dx_ = 0, drag_dy_ = 0;
    std::optional<ErrorSink> previous_sink_;
    std::atomic<bool> posted_box_open_{false};  // a posted error box is showing
    std::atomic<bool> close_requested_{false};
    bool screen_page_failed_ = false;
    std::unique_ptr<platform::Font> menu_font_;
    std::unique_ptr<MenuView> menu_view_;
    bool menu_attached_ = false;
    bool menu_swallows_text_ = false;  // the last key went to the menu
    uint32_t menu_redraws_seen_ = 0;
    gfx::Frame client_frame_;
    WindowStateBlock state_block_;
    std::unique_ptr<platform::EventFeeder> feeder_;
    std::chrono::steady_clock::time_point script_start_;
};

}  // namespace tob
