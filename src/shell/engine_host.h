// The window thread's side of a run: device start-up, the script engine with
// every built-in family bound, the loop that serves window commands, and
// device shutdown.
#pragma once

#include <memory>
#include <optional>

#include "compiler/exports.h"
#include "compiler/source_reader.h"
#include "graphics/pages.h"
#include "platform/command_queue.h"
#include "platform/window.h"
#include "shell/app.h"
#include "shell/error_report.h"
#include "shell/menu_view.h"
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
    // How the engine reads script sources: through the archive-aware,
    // compressed-file-aware file layer, relative to the module directory.
    static compiler::SourceReader source_reader();

  private:
    bool create_window();
    void start_devices();
    void stop_devices();
    void pause();
    void resume();
    void restart_with_drop(const std::string& path_utf8);
    int exit_status(bool timed_out, bool loaded) const;
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
    bool debug_visible_ = false;
    gfx::Frame frame_;
    bool dragging_ = false;
    bool drop_shift_ = false, drop_ctrl_ = false;
    compiler::ExportedFunctions exports_;
    int drag_dx_ = 0, drag_dy_ = 0;
    std::optional<ErrorSink> previous_sink_;
    std::atomic<bool> close_requested_{false};
    std::unique_ptr<platform::Font> menu_font_;
    std::unique_ptr<MenuView> menu_view_;
    bool menu_attached_ = false;
    uint32_t menu_redraws_seen_ = 0;
    gfx::Frame client_frame_;
};

// Binds the built-in families the shell knows of to a trap table.
void bind_all_families(TrapTable& table);

}  // namespace tob
