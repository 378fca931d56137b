// Any bytes may sit in config.json. What reads must survive a save and a
// reload unchanged, or an edit of one prompt would quietly change others.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/config/ConfigCodec.h"
#include "fuzz/FuzzCheck.h"

using tamsel::fuzz::check;
namespace codec = tamsel::ConfigCodec;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const codec::DecodeResult first = codec::decode(bytes);
    if (!first.config) {
        check(!first.error.empty(), "a file that cannot be read says why");
        return 0;
    }
    const std::string encoded = codec::encode(*first.config);
    const codec::DecodeResult second = codec::decode(encoded);
    check(second.config.has_value(), "what was written reads again");
    check(*second.config == *first.config, "decode(encode(c)) == c");
    check(codec::encode(*second.config) == encoded, "encoding is stable");
    return 0;
}
