// The script-defined menu: a tree of 64 nodes that the menu built-ins edit,
// and the menu bar built from it. The bar is a plain description (menus of
// items with state bits) that the window draws and hit-tests itself.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tob {

struct TrapBinding;

struct MenuItem {
    enum Kind { Command, Separator, Popup, Radio };
    Kind kind = Command;
    int32_t id = 0;
    std::string text;  // CP932
    int submenu = -1;  // index of the popup's menu in MenuBar::menus
    bool disabled = false;
    bool checked = false;
};

struct MenuBar {
    // menus[0] is the bar itself; popups refer to later entries.
    std::vector<std::vector<MenuItem>> menus;
    bool empty() const { return menus.empty() || menus[0].empty(); }
};

class MenuModel {
  public:
    static constexpr int kNodes = 64;
    static constexpr size_t kTextMax = 63;

    MenuModel();
    void init();
    bool add(int32_t parent, int32_t id, std::string_view text, int32_t group);
    bool remove(int32_t id);
    // Builds a new bar from the tree; the nodes remember where they went.
    MenuBar build();
    bool enable(MenuBar& bar, int32_t id, bool on) const;
    bool check(MenuBar& bar, int32_t id, bool on) const;
    bool radio(MenuBar& bar, int32_t id) const;

  private:
    struct Node {
        bool in_use = false;
        int owning_menu = -1;  // the built menu it went into
        int32_t id = 0;
        int32_t group = 0;
        std::string text;
        int next = -1;   // sibling
        int child = -1;  // first child
    };
    int find(int32_t id) const;
    int find_from(int node, int32_t id) const;
    void clear_subtree(int node);
    void build_menu(int first, MenuBar& bar, int menu);
    MenuItem* item_in(MenuBar& bar, int node) const;

    std::array<Node, kNodes> nodes_;
};

// The process's menu: the model, the bar shown by the window, and whether the
// window has a menu at all. Guarded by `mutex`.
struct MenuState {
    std::mutex mutex;
    MenuModel model;
    MenuBar bar;
    bool window_has_menu = false;  // the `Menu` setting gave the window a menu
    uint32_t redraws = 0;          // bumped whenever the bar must be redrawn
};
MenuState& menu_state();

// menu_init … menu_get.
std::span<const TrapBinding> menu_builtins();

}  // namespace tob
