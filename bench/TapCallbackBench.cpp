// The tap callback's cost for the key-downs every user types all day, and
// proof that none of its paths allocates.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/EventTapController.h"
#include "platform/fake/FakeAccessibility.h"
#include "platform/fake/FakeEventTap.h"
#include "platform/fake/FakeMainQueue.h"

namespace {
std::atomic<std::size_t> allocations{0};
}

// Out of line, so the compiler does not pair our malloc and free with the
// standard new and delete when it inlines them.
[[gnu::noinline]] void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace tamsel;

std::shared_ptr<EventTapController> makeController(std::size_t& fired) {
    auto clock = std::make_shared<VirtualClock>();
    auto controller = std::make_shared<EventTapController>(
        std::make_shared<FakeEventTapService>(), std::make_shared<FakeAccessibility>(true),
        std::make_shared<FakeMainQueue>(clock));
    controller->setOnTrigger(
        [&fired](const Rule&, TriggerKind, const Config&, const FrontWindow&) { ++fired; });
    // The shipped configuration: three prompts, the default target list.
    controller->updateConfig(Config::makeDefault(Language::en));
    controller->updateFrontmostBundleID(
        Config::defaultTargetBundleIDs().at(Config::defaultTargetBundleIDs().size() * 3 / 4));
    return controller;
}

void runCallback(benchmark::State& state, TapEvent event, TapVerdict expected) {
    std::size_t fired = 0;
    const std::size_t atStart = allocations.load();
    auto controller = makeController(fired);
    if (allocations.load() == atStart) {
        state.SkipWithError("allocations are not being counted");
        return;
    }
    EventTapClient& callback = *controller;
    if (callback.handleTapEvent(event) != expected) {
        state.SkipWithError("unexpected verdict");
        return;
    }
    const std::size_t before = allocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(callback.handleTapEvent(event));
    }
    const std::size_t allocated = allocations.load() - before;
    state.counters["allocs_per_event"] =
        benchmark::Counter(static_cast<double>(allocated), benchmark::Counter::kAvgIterations);
    state.counters["allocs_total"] = static_cast<double>(allocated);
    benchmark::DoNotOptimize(fired);
}

// cmd+9 is no shortcut of the default prompts.
void BM_TapPassThroughKeyDown(benchmark::State& state) {
    runCallback(state, TapEvent{TapEventType::keyDown, 25, Modifiers::commandFlag, 0, std::nullopt},
                TapVerdict::passThrough);
}

void BM_TapMarkerEvent(benchmark::State& state) {
    runCallback(state,
                TapEvent{TapEventType::keyDown, 36, Modifiers::commandFlag,
                         EventTapController::syntheticEventMarker, std::nullopt},
                TapVerdict::passThrough);
}

void BM_TapMatch(benchmark::State& state) {
    runCallback(state, TapEvent{TapEventType::keyDown, 36, Modifiers::commandFlag, 0, std::nullopt},
                TapVerdict::consume);
}

BENCHMARK(BM_TapPassThroughKeyDown);
BENCHMARK(BM_TapMarkerEvent);
BENCHMARK(BM_TapMatch);

} // namespace

BENCHMARK_MAIN();
