#include "shell/menu_model.h"

#include <algorithm>
#include <climits>

#include "shell/window_state.h"
#include "vm/trap.h"

namespace tob {

MenuModel::MenuModel() {
    init();
}

void MenuModel::init() {
    nodes_.fill(Node{});
    nodes_[0].in_use = true;
}

int MenuModel::find_from(int node, int32_t id) const {
    // Depth first: the node, then its children, then its later siblings.
    for (int n = node; n >= 0; n = nodes_[size_t(n)].next) {
        if (nodes_[size_t(n)].id == id) return n;
        if (int c = nodes_[size_t(n)].child; c >= 0)
            if (int found = find_from(c, id); found >= 0) return found;
    }
    return -1;
}

int MenuModel::find(int32_t id) const {
    return id == 0 ? 0 : find_from(0, id);
}

bool MenuModel::add(int32_t parent, int32_t id, std::string_view text, int32_t group) {
    if (id == 0) return false;
    if (id > 0 && find(id) >= 0) return false;
    int p = find(parent);
    if (p < 0) return false;
    int free_node = -1;
    for (int i = 1; i < kNodes; ++i)
        if (!nodes_[size_t(i)].in_use) {
            free_node = i;
            break;
        }
    if (free_node < 0) return false;
    Node& n = nodes_[size_t(free_node)];
    n = Node{};
    n.in_use = true;
    n.id = id;
    n.group = group;
    n.text = std::string(text.substr(0, kTextMax));
    if (nodes_[size_t(p)].child < 0) {
        nodes_[size_t(p)].child = free_node;
    } else {
        int last = nodes_[size_t(p)].child;
        while (nodes_[size_t(last)].next >= 0) last = nodes_[size_t(last)].next;
        nodes_[size_t(last)].next = free_node;
    }
    return true;
}

void MenuModel::clear_subtree(int node) {
    for (int c = nodes_[size_t(node)].child; c >= 0;) {
        int next = nodes_[size_t(c)].next;
        clear_subtree(c);
        c = next;
    }
    nodes_[size_t(node)] = Node{};
}

bool MenuModel::remove(int32_t id) {
    if (id == 0) {
        init();
        return true;
    }
    int n = find(id);
    if (n < 0) return false;
    // Unlink it from its parent's children.
    for (int p = 0; p < kNodes; ++p) {
        if (!nodes_[size_t(p)].in_use) continue;
        if (nodes_[size_t(p)].child == n) {
            nodes_[size_t(p)].child = nodes_[size_t(n)].next;
            break;
        }
        if (nodes_[size_t(p)].next == n) {
            nodes_[size_t(p)].next = nodes_[size_t(n)].next;
            break;
        }
    }
    clear_subtree(n);
    return true;
}

void MenuModel::build_menu(int first, MenuBar& bar, int menu) {
    for (int n = first; n >= 0; n = nodes_[size_t(n)].next) {
        Node& node = nodes_[size_t(n)];
        MenuItem item;
        item.id = node.id;
        item.text = node.text;
        if (node.child >= 0) {
            item.kind = MenuItem::Popup;
            item.submenu = int(bar.menus.size());
            bar.menus.emplace_back();
            build_menu(node.child, bar, item.submenu);
        } else if (node.text == "-") {
            item.kind = MenuItem::Separator;
        } else if (node.group != 0) {
            item.kind = MenuItem::Radio;
        }
        node.owning_menu = menu;
        bar.menus[size_t(menu)].push_back(std::move(item));
    }
}

MenuBar MenuModel::build() {
    MenuBar bar;
    bar.menus.emplace_back();
    build_menu(nodes_[0].child, bar, 0);
    return bar;
}

MenuItem* MenuModel::item_in(MenuBar& bar, int node) const {
    int menu = nodes_[size_t(node)].owning_menu;
    if (menu < 0 || size_t(menu) >= bar.menus.size()) return nullptr;
    for (MenuItem& item : bar.menus[size_t(menu)])
        if (item.id == nodes_[size_t(node)].id) return &item;  // by command
    return nullptr;
}

bool MenuModel::enable(MenuBar& bar, int32_t id, bool on) const {
    int n = find(id);
    if (n < 0) return false;
    if (MenuItem* item = item_in(bar, n)) item->disabled = !on;
    return true;
}

bool MenuModel::check(MenuBar& bar, int32_t id, bool on) const {
    int n = find(id);
    if (n < 0) return false;
    if (MenuItem* item = item_in(bar, n)) item->checked = on;
    return true;
}

bool MenuModel::radio(MenuBar& bar, int32_t id) const {
    int n = find(id);
    if (n < 0) return false;
    int32_t group = nodes_[size_t(n)].group;
    int32_t lo = INT32_MAX, hi = INT32_MIN;
    for (const Node& node : nodes_)
        if (node.in_use && node.group == group) {
            lo = std::min(lo, node.id);
            hi = std::max(hi, node.id);
        }
    int menu = nodes_[size_t(n)].owning_menu;
    if (menu < 0 || size_t(menu) >= bar.menus.size()) return true;
    // Check this item and clear the others of the same menu within the range.
    for (MenuItem& item : bar.menus[size_t(menu)])
        if (item.id >= lo && item.id <= hi) item.checked = item.id == id;
    return true;
}

MenuState& menu_state() {
    static MenuState state;
    return state;
}

}  // namespace tob
