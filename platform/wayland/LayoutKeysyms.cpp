#include "platform/wayland/LayoutKeysyms.h"

#include <algorithm>
#include <memory>
#include <string>

#include <xkbcommon/xkbcommon.h>

namespace tamsel {

namespace {

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};

} // namespace

std::optional<LayoutKeysyms> LayoutKeysyms::fromKeymapText(std::string_view text) {
    // The compositor's keymap is complete: no include path is needed, and
    // none is searched, so the user's own XKB files cannot change the answer.
    std::unique_ptr<xkb_context, ContextDeleter> context(
        xkb_context_new(static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES |
                                                      XKB_CONTEXT_NO_ENVIRONMENT_NAMES)));
    if (!context) {
        return std::nullopt;
    }
    xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    // The text a compositor maps usually ends in its terminating zero.
    const std::string keymapText(text.substr(0, text.find('\0')));
    std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(xkb_keymap_new_from_string(
        context.get(), keymapText.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        return std::nullopt;
    }
    LayoutKeysyms result;
    result.layouts_.resize(std::max<xkb_layout_index_t>(xkb_keymap_num_layouts(keymap.get()), 1));
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap.get());
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap.get());
    for (xkb_keycode_t key = first; key <= last; ++key) {
        const xkb_layout_index_t keyLayouts = xkb_keymap_num_layouts_for_key(keymap.get(), key);
        if (keyLayouts == 0) {
            continue;
        }
        for (xkb_layout_index_t layout = 0; layout < result.layouts_.size(); ++layout) {
            // A key defined for fewer layouts than the keymap has wraps
            // around, as XKB does by default: a key only in the first
            // layout gives the same in all of them.
            const xkb_layout_index_t own = layout % keyLayouts;
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap.get(), key, own);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                const xkb_keysym_t* syms = nullptr;
                const int count =
                    xkb_keymap_key_get_syms_by_level(keymap.get(), key, own, level, &syms);
                for (int i = 0; i < count; ++i) {
                    result.layouts_[layout].insert(syms[i]);
                }
            }
        }
    }
    return result;
}

bool LayoutKeysyms::has(std::uint32_t keysym, std::optional<std::uint32_t> layout) const {
    if (layout) {
        return *layout < layouts_.size() && layouts_[*layout].count(keysym) > 0;
    }
    return std::all_of(layouts_.begin(), layouts_.end(),
                       [keysym](const auto& keysyms) { return keysyms.count(keysym) > 0; });
}

} // namespace tamsel
