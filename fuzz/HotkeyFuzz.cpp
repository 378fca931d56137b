// The notation is typed by hand in config.json; printing must normalise it
// without ever changing which keys it means.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/config/Hotkey.h"
#include "fuzz/FuzzCheck.h"

using tamsel::Hotkey;
using tamsel::fuzz::check;
namespace MainKeys = tamsel::MainKeys;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<Hotkey> parsed = Hotkey::parse(text);
    if (!parsed) {
        return 0;
    }
    const std::string printed = parsed->stringValue();
    const std::optional<Hotkey> reparsed = Hotkey::parse(printed);
    check(reparsed.has_value(), "the printed form parses");
    check(*reparsed == *parsed, "parse(print(h)) == h");
    check(reparsed->stringValue() == printed, "printing is stable");
    check(!parsed->displayString().empty(), "every shortcut has symbols");
    // The tap must recognise the keys the notation names.
    const std::optional<Hotkey> pressed =
        Hotkey::fromKeyEvent(parsed->modifiers.eventFlags(), MainKeys::keyCode(parsed->key));
    check(parsed->hasModifier() ? pressed == parsed : !pressed.has_value(),
          "the key event of a shortcut gives the shortcut back");
    return 0;
}
