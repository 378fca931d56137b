#pragma once

// A shared "stop" flag: whoever holds a copy may cancel, and the work that
// holds another copy checks it. Any thread.

#include <atomic>
#include <memory>

namespace tamsel {

class CancellationToken {
public:
    void cancel() const { flag_->store(true, std::memory_order_release); }
    bool isCancelled() const { return flag_->load(std::memory_order_acquire); }

private:
    std::shared_ptr<std::atomic<bool>> flag_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace tamsel
