#pragma once

#include <atomic>
#include <cstddef>

#include "platform/Accessibility.h"

namespace tamsel {

class FakeAccessibility final : public Accessibility {
public:
    explicit FakeAccessibility(bool trusted = true) : trusted_(trusted) {}

    bool isProcessTrusted() override {
        ++checks_;
        return trusted_;
    }
    void setTrusted(bool trusted) { trusted_ = trusted; }
    std::size_t checks() const { return checks_; }
    void promptForTrust() override { ++prompts_; }
    std::size_t prompts() const { return prompts_; }

private:
    std::atomic<bool> trusted_;
    std::atomic<std::size_t> checks_{0};
    std::atomic<std::size_t> prompts_{0};
};

} // namespace tamsel
