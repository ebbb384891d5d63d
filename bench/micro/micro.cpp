// How long the program's own code takes for the two things it does at run
// time: deciding a chord on a hot-key press, and picking the image out of the
// notification-area icon file. The platform is a do-nothing stand-in, so
// what is measured is the controller and the reader alone.

#include <benchmark/benchmark.h>

#include "app/AppController.h"
#include "app/AppIconImage.h"
#include "platform/IcoFile.h"

namespace {

class QuietPlatform final : public PlatformServices {
public:
    std::int32_t lastArrow = 0;

    void startHost() override {}
    void loadMainWindow() override {}
    void runMessageLoop() override {}
    WindowHandle mainWindowHandle() override { return nullptr; }
    WindowHandle hintLabelHandle() override { return nullptr; }
    std::int32_t registerHotKey(WindowHandle, WindowHandle, ModifierCode, std::int32_t) override { return 33001; }
    WindowPosition windowPosition() override { return WindowPosition::Normal; }
    void setWindowVisible(bool) override {}
    void destroyWindow() override {}
    bool setTrayIcon(const std::uint8_t*, std::size_t, const char*) override { return true; }
    // Keeping the arrow is the observable effect that stops the compiler
    // from dropping the call. (Benchmark's DoNotOptimize on this member made
    // GCC lose the store.)
    void sendKeyChord(ChordKey, ChordKey, ChordKey third) override { lastArrow = third.virtualKey(); }
};

void HandleHotKey(benchmark::State& state) {
    QuietPlatform platform;
    AppController controller(platform);
    controller.handleCreated();
    for (auto _ : state) {
        controller.handleHotKey(33001, 0);
        benchmark::ClobberMemory();
    }
    // The toggle must still alternate after all those presses.
    if (platform.lastArrow != (controller.switchedRight() ? kChordRight : kChordLeft))
        state.SkipWithError("the chords stopped alternating");
}
BENCHMARK(HandleHotKey);

// 16 is the small-icon width the notification area asks for; the file's one
// image is 32 wide, so that request walks the directory and falls back.
void SelectIcoImage(benchmark::State& state) {
    const int preferredWidth = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const std::uint8_t* bytes = AppIconImage.data();
        benchmark::DoNotOptimize(bytes);
        auto image = selectIcoImage(bytes, AppIconImage.size(), preferredWidth);
        benchmark::DoNotOptimize(image);
        if (!image) {
            state.SkipWithError("no image chosen from the program's own icon");
            break;
        }
    }
}
BENCHMARK(SelectIcoImage)->Arg(16)->Arg(32);

}  // namespace

BENCHMARK_MAIN();
