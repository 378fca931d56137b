#pragma once

// Change notification for the models the views watch: subscribers hear about
// a change just before it is made and re-read the model on their next turn.
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tamsel {

namespace detail {
using SubscriberList = std::vector<std::pair<std::uint64_t, std::function<void()>>>;
}

// Ends the subscription when it goes; safe to outlive the model.
class Subscription {
public:
    Subscription() = default;
    Subscription(std::weak_ptr<detail::SubscriberList> list, std::uint64_t token)
        : list_(std::move(list)), token_(token) {}
    Subscription(Subscription&& other) noexcept = default;
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            list_ = std::move(other.list_);
            token_ = other.token_;
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    void cancel() {
        if (auto list = list_.lock()) {
            std::erase_if(*list, [this](const auto& entry) { return entry.first == token_; });
        }
        list_.reset();
    }

private:
    std::weak_ptr<detail::SubscriberList> list_;
    std::uint64_t token_ = 0;
};

class Observable {
public:
    [[nodiscard]] Subscription subscribe(std::function<void()> willChange) {
        subscribers_->emplace_back(++lastToken_, std::move(willChange));
        return Subscription(subscribers_, lastToken_);
    }

protected:
    void notifyWillChange() {
        // A subscriber may unsubscribe while being told.
        const detail::SubscriberList current = *subscribers_;
        for (const auto& entry : current) {
            entry.second();
        }
    }

    // Sets a published field, telling subscribers first, only when it changes.
    template <typename Value, typename NewValue> bool publish(Value& field, NewValue&& value) {
        if (field == value) {
            return false;
        }
        notifyWillChange();
        field = std::forward<NewValue>(value);
        return true;
    }

private:
    std::shared_ptr<detail::SubscriberList> subscribers_ =
        std::make_shared<detail::SubscriberList>();
    std::uint64_t lastToken_ = 0;
};

} // namespace tamsel
