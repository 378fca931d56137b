#include "app/Observable.h"

#include <gtest/gtest.h>

using namespace tamsel;

namespace {
class Counter final : public Observable {
public:
    void set(int next) { publish(value, next); }
    int value = 0;
};
} // namespace

TEST(ObservableTest, NotifiesBeforeEachRealChangeUntilTheSubscriptionEnds) {
    Counter counter;
    std::vector<int> seenBefore;
    auto subscription = counter.subscribe([&] { seenBefore.push_back(counter.value); });
    counter.set(1);
    counter.set(1); // unchanged: no notification
    counter.set(2);
    EXPECT_EQ(seenBefore, (std::vector<int>{0, 1}));
    {
        Subscription moved = std::move(subscription);
        counter.set(3);
    }
    counter.set(4);
    EXPECT_EQ(seenBefore, (std::vector<int>{0, 1, 2}));
}

TEST(ObservableTest, SubscriptionMayOutliveTheModelAndEndItselfWhileNotified) {
    Subscription survivor;
    {
        Counter counter;
        survivor = counter.subscribe([] {});
        Subscription self;
        int calls = 0;
        self = counter.subscribe([&] {
            ++calls;
            self.cancel();
        });
        counter.set(1);
        counter.set(2);
        EXPECT_EQ(calls, 1);
    }
    survivor.cancel(); // the model is gone: nothing to do, nothing to crash
}
