#include "shell/engine_host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "base/current_folder.h"
#include "base/error_report.h"
#include "base/settings.h"
#include "compiler/compiler.h"
#include "graphics/blend_tables.h"
#include "graphics/bmp_format.h"
#include "graphics/graphics.h"
#include "graphics/pages.h"
#include "graphics/plane_table.h"
#include "graphics/sprites.h"
#include "media/media.h"
#include "net/net.h"
#include "platform/cp932.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "runtime/debug_output.h"
#include "runtime/desktop.h"
#include "runtime/plugins.h"
#include "runtime/random_generator.h"
#include "runtime/runtime.h"
#include "shell/builtin_families.h"
#include "shell/engine_clock.h"
#include "shell/menu_model.h"
#include "shell/system_values.h"
#include "shell/window_state.h"
#include "storage/exp_file.h"

namespace tob {
namespace {

constexpr int kVirtualKeyEnter = platform::kVkEnter;
// The longest the window thread sleeps without an event. Script threads wake
// it when they send a command, write debug output or end; this bounds how
// late it sees what they change without telling it (`setsystem`'s flags,
// a redrawn menu bar). Nobody sees a headless window: it looks less often,
// unless recorded input events are due.
constexpr uint32_t kLoopWaitMs = 5;
constexpr uint32_t kHeadlessLoopWaitMs = 250;
constexpr uint32_t kFullScreenCommand = 1214;
constexpr const char* kExternalAreaFailed = "外部データ領域（%u バイト）の確保に失敗しました。";
constexpr const char* kScreenPageFailed =
    "スクリーンページ（%d × %d、%d ビット）の作成に失敗しました。";

}  // namespace

EngineHost::EngineHost(const LaunchOptions& options)
    : options_(options), engine_(std::make_unique<ScriptEngine>()) {
    // The block plug-ins read lives from engine initialisation to shutdown.
    engine_->add_init_hook([this] {
        state_block_.allocate(engine_->memory());
        refresh_state_block();
    });
    engine_->add_shutdown_hook([this] { state_block_.release(); });
}

EngineHost::~EngineHost() {
    if (previous_sink_) set_error_sink(*previous_sink_);
    queue_.close();
    system_value_hooks() = {};
    engine_.reset();
    stop_debug_window();  // before the main window, which ends the display
    window_.reset();
}

bool EngineHost::create_window() {
    const Settings& s = settings();
    platform::WindowSpec spec;
    spec.title_utf8 = cp932_to_utf8(s.title);
    spec.borderless = s.title.empty();
    spec.resizable = s.resize != 0;
    spec.min_width = s.width / 4;  // the client may not shrink below a quarter
    spec.min_height = s.height / 4;
    spec.width = s.width;
    // A menu bar is a strip above the picture.
    spec.height = s.height + (s.menu > 0 ? MenuMetrics::kBarHeight : 0);
    spec.headless = options_.headless;
    spec.vsync = s.vsync != 0;
    window_ = platform::create_window(spec);
    if (!window_) return false;
    queue_.set_wakeup([w = window_.get()] { w->wake(); });
    window_state().client_width = s.width;
    window_state().client_height = s.height;
    if (!options_.headless) {
        // Script message boxes and the caption: window commands.
        DesktopWindow desktop;
        desktop.message_box = [this](const MessageBoxRequest& r) {
            auto show = [this, r] {
                std::vector<platform::Window::BoxButton> buttons;
                for (const auto& b : r.buttons) buttons.push_back({b.code, b.label});
                return window_->ask(int(r.icon), r.caption_utf8, r.text_utf8, buttons,
                                    r.default_code, r.escape_code);
            };
            return queue_.on_owner_thread() ? show() : queue_.send(show);
        };
        desktop.set_caption = [this](const std::string& title) {
            auto set = [this, title] {
                window_->set_title(title);
                return 1u;
            };
            return (queue_.on_owner_thread() ? set() : queue_.send(set)) != 0;
        };
        set_desktop_window(std::move(desktop));
        // Error boxes: a script thread waits on the window thread until the
        // box is closed; the window thread shows it at once.
        previous_sink_ =
            set_error_sink({[this](const std::string& text) {
                                auto show = [this, text] {
                                    window_->show_message(kErrorCaption, text);
                                    return 0u;
                                };
                                if (queue_.on_owner_thread() || !queue_.is_open())
                                    show();
                                else
                                    queue_.send(show);
                            },
                            false,
                            [this](const std::string& text) {
                                // One posted box at a time; the
                                // rest go to standard error.
                                if (posted_box_open_.exchange(true)) {
                                    std::fprintf(stderr, "%s: %s\n", kErrorCaption, text.c_str());
                                    return;
                                }
                                queue_.post([this, text] {
                                    window_->show_message(kErrorCaption, text);
                                    posted_box_open_ = false;
                                });
                            }});
    }
    return true;
}

bool EngineHost::start_devices() {
    const Settings& s = settings();
    queue_.open_on_this_thread();
    engine_clock().reset();
    // Games that never call srand still see new numbers on every run.
    seed_script_random(options_.seed ? *options_.seed : platform::tick_count());
    {
        std::lock_guard lock(menu_state().mutex);
        menu_state().window_has_menu = s.menu > 0;
    }
    system_value_hooks().get_fullscreen = [] {
        return uint32_t(window_state().full_screen.load());
    };
    system_value_hooks().set_fullscreen = [this](int32_t on) {
        return queue_.send([this, on] { return switch_fullscreen(on != 0); });
    };
    engine_->set_window_queue(&queue_);
    start_input();

    // Sound: the device opens with `Sound`, `Music` or `CD` (or a recording),
    // before the external data area and engine initialisation; engine
    // shutdown frees the channels first.
    AudioStartup audio;
    audio.sound = s.sound != 0;
    audio.open_device = s.sound || s.music || s.cd || !options_.audio_out.empty();
    audio.record = options_.audio_out;
    audio.music = s.music != 0;
    audio.soundfont = options_.soundfont;
    audio.music_log = s.debug_mode != 0;
    audio.cd = s.cd != 0;
    audio.headless = options_.headless;
    start_audio(audio);
    set_media_command_queue(&queue_);
    // Plug-ins reach the window commands from any thread.
    set_plugin_messenger([this](uint32_t message, uint32_t wparam, uint32_t lparam) {
        return send_window_command(message, wparam, lparam);
    });
    // Engine shutdown: media first, then the sound channels, MIDI and CD.
    engine_->add_shutdown_hook([] {
        close_media();
        free_sound_channels();
        free_music();
        stop_cd();
    });
    compiler::ProgramCompilerSetup compile_setup;
    compile_setup.memory = &engine_->memory();
    compile_setup.reader = source_reader();
    compile_setup.exports = &exports_;
    compile_setup.external_base = [this] { return engine_->external_base(); };
    compile_setup.external_size = [this] { return engine_->external_size(); };
    // Headless runs show every message on standard error.
    compile_setup.collect_messages = [this] { return options_.headless || settings().error > 0; };
    engine_->set_compiler(compiler::make_program_compiler(compile_setup));
    // Engine initialisation forgets the functions earlier programs exported.
    engine_->add_init_hook([this] { exports_.clear(); });
    engine_->set_sizes(s.program_size, s.stack_size);
    engine_->set_exit_handler([this] { queue_.post([this] { close_requested_ = true; }); });
    if (!engine_->allocate_external_area(s.heap_size))
        report_error(1, kExternalAreaFailed, unsigned(s.heap_size));
    // A wrong family list is a developer's mistake; say so where it shows.
    if (BindReport report = bind_all_families(engine_->traps()); !report.ok())
        std::fputs(report.describe().c_str(), stderr);
    engine_->add_init_hook([this] { init_runtime(engine_->memory()); });
    engine_->add_shutdown_hook([] { shutdown_runtime(); });
    engine_->add_init_hook([this] { init_regex(engine_->memory()); });
    engine_->add_shutdown_hook([] { shutdown_regex(); });
    engine_->add_init_hook([&s] { init_net(s.net != 0); });
    engine_->add_shutdown_hook([] { shutdown_net(); });
    engine_->add_init_hook([this, &s] {
        init_graphics_planes(engine_->memory());
        // A window shows blends soon: their tables are built meanwhile. A
        // headless run builds them when it first blends, if ever.
        if (!options_.headless) gfx::warm_blend_tables();
        screen_page_failed_ = !gfx::start_pages(s.width, s.height, s.depth);
        if (screen_page_failed_) report_error(1, kScreenPageFailed, s.width, s.height, s.depth);
    });
    engine_->add_shutdown_hook([] { shutdown_graphics_planes(); });
    engine_->add_init_hook([this] { init_sprites(engine_->memory()); });
    engine_->add_shutdown_hook([] { shutdown_sprites(); });
    system_value_hooks().sprite_count = [] { return gfx::sprites().count(); };
    engine_->add_init_hook([] { init_graphics_effects([] { return script_random().next(); }); });
    engine_->add_shutdown_hook([] { shutdown_graphics_effects(); });
    engine_->add_init_hook([this] { init_graphics_3d(engine_->memory()); });
    engine_->add_shutdown_hook([] { shutdown_graphics_3d(); });
    engine_->add_init_hook([] { gfx::init_text(); });
    engine_->add_shutdown_hook([] { gfx::shutdown_text(); });
    {
        gfx::PageState& ps = gfx::page_state();
        std::lock_guard lock(ps.mutex);
        ps.hooks.has_window = true;
        // Headless nobody sees the picture: `update` has nothing to paint
        // (the screenshot is taken from the view page when it is asked for).
        if (!options_.headless)
            ps.hooks.update = [this](std::optional<gfx::Box> area) {
                queue_.send([this, area] {
                    // The sender waits inside its built-in, holding the trap lock.
                    painting_for_script_ = true;
                    present(area);
                    painting_for_script_ = false;
                    return 0u;
                });
            };
        // Shaped windows are not offered by every platform: the shape is
        // computed and kept, the window stays rectangular.
        ps.hooks.set_shape = [](std::optional<std::vector<gfx::Rect>>) {};
    }
    // The debug output: standard output in headless runs; with `DebugMode`
    // a window of its own (standard output when it cannot be made).
    if (options_.headless || (s.debug_mode && !start_debug_window()))
        set_debug_output(line_printer(stdout));
    else if (!s.debug_mode)
        set_debug_output(std::nullopt);
    engine_->dispatcher().set_check_arguments(s.debug_mode != 0);
    engine_->initialise();
    engine_->reset_thread_table();
    start_menu();
    // Without its screen page no game can run: start-up ends here.
    return !screen_page_failed_;
}

compiler::SourceReader EngineHost::source_reader() {
    // Sources come through the archive-aware, compressed-file-aware layer.
    return [](std::string_view path) {
        compiler::SourceData d;
        // Room for the newline the compiler appends: the text is not copied again.
        auto text = read_expanded_text(path, current_folder(), 1);
        if (!text) return d;
        d.status = compiler::SourceStatus::Ok;
        d.bytes = std::move(*text);
        return d;
    };
}

void EngineHost::present(std::optional<gfx::Box> area) {
    if (!window_ || options_.headless) return;  // nothing is shown
    // Script threads draw into planes inside built-ins, under the trap lock.
    // The view page is read here only while no built-in runs: when a script
    // thread asked for it (it waits inside its built-in), or when the lock is
    // free (taken without waiting: the window thread never waits for it).
    // Otherwise the picture painted last is shown again, and the page is
    // painted once the scripts let go of the lock (`repaint_pending_`).
    std::unique_lock<std::mutex> trap;
    if (!painting_for_script_) {
        trap = std::unique_lock(engine_->dispatcher().lock(), std::try_to_lock);
        if (!trap.owns_lock()) repaint_pending_ = true;
    }
    const bool may_paint = painting_for_script_ || trap.owns_lock();
    gfx::PageState& ps = gfx::page_state();
    const gfx::PaintSettings s = ps.paint_settings();
    gfx::Box a{0, 0, 0, 0};  // nothing to paint: the last picture again
    std::shared_ptr<const gfx::Plane> view;
    if (may_paint) {
        if (repaint_pending_) area.reset();  // a whole repaint was put off
        repaint_pending_ = false;
        a = gfx::screen_area(s, area.value_or(gfx::Box{0, 0, ps.screen_width, ps.screen_height}));
        view = gfx::plane_table().acquire(gfx::plane_table().view_page);
    }
    if (menu_view_ || media_layer_visible()) {
        // A video, the menu bar and its popups are drawn over the picture:
        // the frame is composed whole, from the painted page kept in
        // `frame_` (painted whole when it was not kept up to date).
        if (may_paint) {
            if (!frame_current_ || frame_.width != s.screen_width ||
                frame_.height != s.screen_height)
                a = gfx::screen_area(s, {0, 0, ps.screen_width, ps.screen_height});
            gfx::paint(view.get(), s, a, frame_);
            frame_current_ = true;
        }
        const gfx::Frame& shown = compose();
        if (!shown.pixels.empty()) window_->present(shown.pixels.data(), shown.width, shown.height);
        return;
    }
    frame_current_ = false;
    // One pass over what changed, straight into the window's texture. A new
    // texture is painted whole: black while the page may not be read (a
    // whole repaint is then pending).
    window_->present_region(
        s.screen_width, s.screen_height, int(a.left), int(a.top), int(a.width()), int(a.height()),
        [&](uint32_t* pixels, ptrdiff_t pitch, int x, int y, int w, int h) {
            gfx::paint(view.get(), s, gfx::Box{x, y, int64_t(x) + w, int64_t(y) + h}, pixels,
                       pitch);
        });
}

bool EngineHost::write_screenshot(const std::filesystem::path& file) {
    auto view = gfx::plane_table().acquire(gfx::plane_table().view_page);
    if (!view) return false;
    std::vector<uint8_t> bmp = gfx::encode_bmp(*view, view->bounds());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
    return bool(out);
}

void EngineHost::stop_devices() {
    close_media();
    engine_->stop_all_threads();
    stop_input();
    engine_->shutdown();
    engine_->free_external_area();
    // Devices in reverse order of their start.
    stop_audio();
    set_media_command_queue(nullptr);
    set_desktop_window({});
    set_plugin_messenger(nullptr);
    set_debug_output(std::nullopt);
    stop_debug_window();
    queue_.close();
}

uint32_t EngineHost::switch_fullscreen(bool on) {
    if (!window_) return 0;
    // `AutoHideMenu` first: the bar leaves before full screen and comes back
    // before the window does (the setting is only on with `Draw` and a menu).
    if (menu_view_ && settings().auto_hide_menu) set_menu_attached(!on);
    // The whole switch runs paused, also when it changes nothing. The display
    // mode changes synchronously here, so the waits around it that a slow
    // display needed are left out: nothing can see them.
    pause();
    uint32_t result = change_display_mode(on);
    present(std::nullopt);
    resume();
    return result;
}

uint32_t EngineHost::change_display_mode(bool on) {
    // Without the display-mode device (`Draw` 0) there is no full screen.
    if (!settings().draw) return 0;
    if (bool(window_state().full_screen.load()) == on) return 1;
    window_->set_fullscreen(on);
    window_state().full_screen = window_->fullscreen() ? 1 : 0;
    gfx::page_state().full_screen = window_state().full_screen.load() != 0;
    return 1;
}

uint32_t EngineHost::send_window_command(uint32_t message, uint32_t wparam, uint32_t lparam) {
    return queue_.send([=, this] { return window_command(message, wparam, lparam); });
}

uint32_t EngineHost::window_command(uint32_t message, uint32_t wparam, uint32_t lparam) {
    const Settings& s = settings();
    if (message >= kFirstSoundCommand && message <= kLastSoundCommand)
        return sound_window_command(engine_->memory(), message, wparam, lparam);
    if (message >= kFirstMidiCommand && message <= kLastMidiCommand)
        return midi_window_command(engine_->memory(), message, wparam, lparam);
    if (message >= kFirstCdCommand && message <= kLastCdCommand)
        return cd_window_command(message, wparam, lparam);
    if (message >= kFirstVideoCommand && message <= kLastVideoCommand)
        return video_window_command(engine_->memory(), message, wparam, lparam);
    switch (message) {
        case kFullScreenCommand:
            return switch_fullscreen(wparam != 0);
        case kGetKeyCommand:
        case kGetJoyCommand:
        case kGetMouseCommand:
            return input_state().command(engine_->memory(), message, wparam, lparam);
        case kPluginQueryCommand: {
            PluginAnswer a;
            a.stop_word = engine_->stop_word();
            a.window_state = state_block_.address();
            a.window = window_ ? window_->id() : 0;
            a.width = uint32_t(s.width);
            a.height = uint32_t(s.height);
            a.depth = uint32_t(s.depth);
            return answer_plugin_query(engine_->memory(), wparam, a);
        }
        default:
            return 0;
    }
}

void EngineHost::refresh_state_block() {
    state_block_.update(current_window_state());
}

void EngineHost::pause() {
    engine_->pause_threads();
    pause_media();
    pause_music();
    pause_cd();
    engine_clock().pause();
}

void EngineHost::resume() {
    engine_clock().resume();
    resume_cd();
    resume_music();
    resume_media();
    engine_->resume_threads();
}

void EngineHost::restart_with_drop(const std::vector<std::string>& paths_utf8) {
    close_media();
    engine_->stop_all_threads();
    engine_->initialise();
    if (screen_page_failed_) {
        close_requested_ = true;
        return;
    }
    // Only ".c" files are compiled (measuring, nothing runs); the compiler
    // checks the name. Files dropped together share one initialisation.
    for (const std::string& path : paths_utf8)
        compiler::compile_dropped_file(utf8_to_cp932(path), drop_shift_, drop_ctrl_,
                                       options_.headless || settings().error > 0, source_reader());
}

void EngineHost::handle(const platform::WindowEvent& event) {
    dispatch(event);
    refresh_state_block();
}

void EngineHost::set_focus(bool debug_window, bool focused) {
    (debug_window ? debug_focused_ : main_focused_) = focused;
    activation_pending_ = true;
    // Focus moving from one of our windows to the other comes as a loss and
    // a gain: the run loop looks at both together.
    if (!batching_events_) apply_activation();
}

void EngineHost::apply_activation() {
    activation_pending_ = false;
    WindowState& w = window_state();
    bool active = main_focused_ || debug_focused_;
    if (settings().global_focus.load() == 0) {
        if (!active && w.active.load()) {
            pause();
            w.active = 0;
            engine_->set_active(false);
        } else if (active && !w.active.load()) {
            resume();
            w.active = 1;
            engine_->set_active(true);
        }
    }
    w.app_active = active ? 1 : 0;
    set_audio_application_active(active);
}

void EngineHost::dispatch(const platform::WindowEvent& event) {
    using E = platform::WindowEvent;
    WindowState& w = window_state();
    InputState& in = input_state();
    platform::WindowEvent e = event;
    // The keyboard's state is the application's, whichever of its windows
    // has the focus; joysticks belong to no window.
    if (e.type == E::KeyDown || e.type == E::KeyUp) in.key(e);
    if (e.type == E::JoyAdded || e.type == E::JoyRemoved) {
        in.joystick(e);
        return;
    }
    if (debug_window_ && e.window != 0 && e.window == debug_window_->id()) {
        debug_window_event(e);
        return;
    }
    // A held button dragged past the window's edge lets the capture go, also
    // over the menu bar.
    if (e.type == E::MouseMove && e.outside) in.release_captured_buttons();
    if (menu_handles(e)) return;
    switch (e.type) {
        case E::Quit:
        case E::Close:
            close_requested_ = true;
            break;
        case E::KeyDown:
            if (e.key == kVirtualKeyF8) toggle_debug_window();
            in.type_controls(e);
            break;
        case E::KeyUp:
            if (e.key == kVirtualKeyEnter && e.alt) switch_fullscreen(!w.full_screen.load());
            break;
        case E::Text:
            in.type_text(utf8_to_cp932(e.text));
            break;
        case E::MouseMove:
            if (dragging_) {
                int mx = 0, my = 0;
                window_->desktop_mouse(mx, my);
                window_->move_to(mx - drag_dx_, my - drag_dy_);
                break;
            }
            in.motion(e, e.x, e.y);
            break;
        case E::Exposed:
            present(std::nullopt);
            break;
        case E::MouseDown:
            if (e.button == kLeftButton && !e.double_click && gfx::drag_test(e.x, e.y)) {
                int wx = 0, wy = 0, mx = 0, my = 0;
                window_->position(wx, wy);
                window_->desktop_mouse(mx, my);
                dragging_ = true;
                drag_dx_ = mx - wx;
                drag_dy_ = my - wy;
                break;
            }
            in.button(e, e.x, e.y);
            break;
        case E::MouseUp:
            if (dragging_ && e.button == kLeftButton) {
                dragging_ = false;
                break;
            }
            in.button(e, e.x, e.y);
            break;
        case E::Wheel:
            in.wheel(e.wheel);
            break;
        case E::FocusLost:
        case E::FocusGained:
            // Keys let go while another application has the focus must not
            // stay down.
            if (e.type == E::FocusLost) in.focus_lost();
            set_focus(false, e.type == E::FocusGained);
            break;
        case E::Maximized:
            // With `Resize` maximizing is ordinary sizing; otherwise the
            // maximize request (which `Draw` offers) means full screen. A
            // window manager draws a maximize button only on windows it may
            // resize, so without `Resize` the request comes from its menu or
            // keys.
            if (settings().draw && !settings().resize) {
                window_->restore();
                switch_fullscreen(true);
            }
            break;
        case E::Resized:
            w.client_width = e.x;
            w.client_height = e.y;
            gfx::page_state().client_width = e.x;
            gfx::page_state().client_height = e.y;
            update_client_size();  // without the menu bar
            present(std::nullopt);
            break;
        case E::DropFile:
            drop_shift_ = e.shift;
            drop_ctrl_ = e.ctrl;
            if (settings().debug_mode) restart_with_drop(e.files);
            break;
        default:
            break;
    }
}

int EngineHost::run() {
    const Settings& s = settings();
    std::unique_ptr<platform::InstanceLock> instance;
    if (!options_.headless && !s.multiple_running) {
        instance = std::make_unique<platform::InstanceLock>(s.mutex_name);
        if (!instance->first()) return 0;  // the first copy was asked to come forward
    }
    if (!create_window()) return kExitStartFailed;
    if (!start_devices()) {
        stop_devices();
        return kExitStartFailed;
    }
    if (s.full_screen == 1) switch_fullscreen(true);
    // The run-program message: compile the main script and start its thread.
    bool loaded = engine_->run_program(s.main_script);
    script_start_ = std::chrono::steady_clock::now();

    using clock = std::chrono::steady_clock;
    auto deadline =
        options_.timeout_seconds
            ? clock::now() + std::chrono::duration_cast<clock::duration>(
                                 std::chrono::duration<double>(*options_.timeout_seconds))
            : clock::time_point::max();
    bool timed_out = false;
    while (!close_requested_) {
        poll_input();
        platform::WindowEvent e;
        batching_events_ = true;
        // Headless, the window waits on a condition its wake-ups signal (SDL's
        // own wait would look every millisecond).
        uint32_t wait_ms =
            options_.headless && !(feeder_ && !feeder_->done()) ? kHeadlessLoopWaitMs : kLoopWaitMs;
        // A playing video wants the loop back when its next picture is due.
        if (auto next = media_time_to_next())
            wait_ms = std::min(wait_ms, uint32_t(std::max<int64_t>(next->count(), 1)));
        if (deadline != clock::time_point::max()) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now());
            wait_ms = uint32_t(std::clamp<int64_t>(left.count(), 0, wait_ms));
        }
        while (window_->wait_event(e, wait_ms)) {
            handle(e);
            queue_.drain();
            if (close_requested_) break;
            wait_ms = 0;  // take what else is queued, then look after the rest
        }
        batching_events_ = false;
        if (activation_pending_) apply_activation();
        queue_.drain();
        if (repaint_pending_) present(std::nullopt);
        // A new picture of the video is shown when it is due, whether or not
        // scripts update the screen (only the layers are composed again).
        // Once the video is gone, the page it covered is painted again whole.
        if (advance_media())
            present(media_layer_visible() ? std::optional(gfx::Box{0, 0, 0, 0}) : std::nullopt);
        flush_debug_output();
        // `setsystem` changes the focus and sound flags on script threads.
        refresh_state_block();
        refresh_menu();
        if (instance && instance->raise_requested()) window_->raise();
        // Headless runs end with their last script thread; a window stays
        // open until it is closed.
        if (options_.headless && (!loaded || !engine_->any_thread_alive())) break;
        if (clock::now() >= deadline) {
            timed_out = true;
            break;
        }
    }
    int status = options_.headless ? exit_status(timed_out, loaded) : 0;
    if (timed_out) status = kExitTimeout;
    close_media();  // WM_CLOSE: media first, then the script threads
    engine_->stop_all_threads();
    if (!options_.screenshot.empty() && !write_screenshot(options_.screenshot))
        std::fprintf(stderr, "engine: the screenshot '%s' could not be written\n",
                     options_.screenshot.c_str());
    stop_devices();
    std::fflush(stdout);
    return status;
}

int EngineHost::exit_status(bool timed_out, bool loaded) const {
    if (!loaded) return kExitCompileError;
    if (timed_out) return kExitTimeout;
    ScriptEngine::Outcome o = engine_->outcome();
    if (o.failed) return kExitRuntimeError;
    if (o.exited) return 0;
    return int(o.result & 0xFF);
}

}  // namespace tob
