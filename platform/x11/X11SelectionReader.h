#pragma once

// Reads everything a selection's owner offers: its TARGETS, then each target
// in turn, large ones through the INCR protocol. Runs on the calling thread,
// on a connection and window of its own.

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/x11/X11Handle.h"

namespace tamsel {

// One conversion of a selection, kept as the server gave it so that it can be
// offered again unchanged: 16- and 32-bit items are packed at their size.
struct SelectionData {
    std::string target; // atom name, such as "image/png" or "UTF8_STRING"
    std::string type;   // the property type the owner answered with
    int format = 8;
    std::string bytes;
    bool operator==(const SelectionData&) const = default;
};

class X11SelectionReader {
public:
    // For everything one read() asks of the owner together: its list of
    // targets and every conversion. What is not in by then is left out.
    static constexpr auto captureLimit = std::chrono::milliseconds(1000);

    // No value, and the reason in `error`, without a display.
    static std::unique_ptr<X11SelectionReader> create(std::string& error);

    // Every target the owner offers and answers within captureLimit, in its
    // order; empty when the selection has no owner; no value when the owner
    // does not answer TARGETS in time.
    std::optional<std::vector<SelectionData>> read(const std::string& selection);

    explicit X11SelectionReader(DisplayHandle display); // use create()
    ~X11SelectionReader();

private:
    std::optional<SelectionData> convert(XResource selection, XResource target,
                                         std::chrono::steady_clock::time_point deadline);
    bool waitFor(int type, std::chrono::steady_clock::time_point deadline, ::_XEvent& event);
    std::optional<SelectionData> takeProperty(XResource target,
                                              std::chrono::steady_clock::time_point deadline);

    std::mutex mutex_;
    DisplayHandle display_;
    XResource window_ = 0;
    XResource property_ = 0;
    XResource incr_ = 0;
};

// Packs what XGetWindowProperty returned (longs for format 32, shorts for 16)
// into bytes of the format's own size, and back.
std::string packPropertyItems(const unsigned char* data, unsigned long count, int format);
std::vector<unsigned char> unpackPropertyItems(const std::string& bytes, int format,
                                               unsigned long& count);

} // namespace tamsel
