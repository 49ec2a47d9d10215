// Sound on the simulated timer 2 and speaker: the key click, tunes, volume and the pin left low.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "panel_models.hpp"
#include "periph/sysctl.hpp"
#include "sound/beep.hpp"
#include "sound/sound.hpp"
#include "support/fresh_board.hpp"

namespace {

void WaitMs(double ms) {
    SysCtlDelay(static_cast<uint32_t>(50'000'000 / 3 / 1000 * ms));
}

class Sound : public ::testing::Test {
  protected:
    void SetUp() override {
        board_ = &FreshBoard();
        SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
        SoundInit();
    }
    sim::Speaker& speaker() { return sim::SpeakerOf(*board_); }
    void ExpectPinLow() {
        sim::GpioPort& c = board_->gpio('C');
        EXPECT_EQ(c.alternate() & 0x80, 0) << "pin back from the timer";
        EXPECT_EQ(c.drivenPins() & 0x80, 0x80);
        EXPECT_EQ(c.pinLevels() & 0x80, 0);
    }
    sim::Board* board_ = nullptr;
};

TEST_F(Sound, StartsSilentWithThePinLow) {
    EXPECT_EQ(g_ulSystemClock, 50'000'000u);
    EXPECT_EQ(g_ucVolume, 100);
    EXPECT_TRUE(speaker().tones().empty());
    ExpectPinLow();
}

TEST_F(Sound, KeyClickIs784HzFor125msThenMutesWithThePinLow) {
    const double played = board_->nowMs();
    hmi_Beep();
    WaitMs(300);
    const auto tones = speaker().audibleTones();
    ASSERT_EQ(tones.size(), 1u);
    EXPECT_EQ(tones[0].periodClocks, 63775u);
    EXPECT_NEAR(tones[0].hz, 784.0, 0.01);
    EXPECT_EQ(tones[0].pulseClocks, 2600u);
    EXPECT_NEAR(tones[0].startMs - played, 5.0, 0.01) << "the first tick comes 5 ms later";
    EXPECT_NEAR(tones[0].durationMs(), 125.0, 0.01);
    // Until the first tick the generator idles above hearing.
    ASSERT_GE(speaker().tones().size(), 2u);
    EXPECT_NEAR(speaker().tones()[0].hz, 40000.0, 1.0);
    EXPECT_FALSE(speaker().sounding());
    EXPECT_EQ(g_pusMusic, nullptr);
    EXPECT_EQ(g_usMusicCount, 26) << "muted on the tick counted 25";
    ExpectPinLow();
}

TEST_F(Sound, TuneStepsEvery5msAndItsLastFrequencyNeverSounds) {
    static const uint16_t tune[] = {0, 1000, 10, 2000, 20, 0};
    SoundPlay(tune, 6);
    WaitMs(200);
    const auto tones = speaker().audibleTones();
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_NEAR(tones[0].hz, 1000.0, 0.01);
    EXPECT_NEAR(tones[0].durationMs(), 50.0, 0.01);
    EXPECT_NEAR(tones[1].hz, 2000.0, 0.01);
    EXPECT_NEAR(tones[1].durationMs(), 50.0, 0.01);
    EXPECT_NEAR(tones[1].endMs, tones[0].endMs + 50.0, 0.01);
    ExpectPinLow();
    // The tick runs on, doing nothing between tunes.
    const uint16_t count = g_usMusicCount;
    WaitMs(50);
    EXPECT_EQ(g_usMusicCount, count);
}

TEST_F(Sound, ATuneStartingAtTick3IdlesForThreeTicks) {
    static const uint16_t tune[] = {3, 1500, 6, 0};
    SoundPlay(tune, 4);
    WaitMs(100);
    ASSERT_GE(speaker().tones().size(), 2u);
    const auto& idle = speaker().tones()[0];
    const auto& first = speaker().tones()[1];
    EXPECT_NEAR(idle.hz, 40000.0, 1.0);
    EXPECT_NEAR(first.hz, 1500.0, 0.1);
    EXPECT_NEAR(first.startMs - idle.startMs, 5.0 + 15.0, 0.01);
    EXPECT_NEAR(first.durationMs(), 15.0, 0.01);
}

TEST_F(Sound, VolumeSetsThePulseWidth) {
    SoundVolumeSet(255);
    static const uint16_t tune[] = {0, 1000, 2, 0};
    SoundPlay(tune, 4);
    WaitMs(20);
    ASSERT_FALSE(speaker().audibleTones().empty());
    EXPECT_EQ(speaker().audibleTones()[0].pulseClocks, 6630u);
    EXPECT_EQ(g_ucVolume, 255);
    SoundVolumeSet(0);
    EXPECT_EQ(sim::PanelModelsOf(*board_).timer2->pwm(sim::GpTimer::kA).pulseClocks, 0u);
}

TEST_F(Sound, AZeroFrequencyIsARestNotADivisionByZero) {
    static const uint16_t tune[] = {0, 1000, 5, 0, 10, 2000, 15, 0};
    SoundPlay(tune, 8);
    WaitMs(150);
    const auto tones = speaker().audibleTones();
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_NEAR(tones[0].durationMs(), 25.0, 0.01);
    EXPECT_NEAR(tones[1].startMs - tones[0].endMs, 25.0, 0.01);
    EXPECT_NEAR(tones[1].hz, 2000.0, 0.01);
}

TEST_F(Sound, APlayDuringATuneRestartsFromTickZeroOnTheRunningTick) {
    static const uint16_t longTune[] = {0, 1000, 100, 0};
    SoundPlay(longTune, 4);
    WaitMs(52);
    const uint32_t tickTimeouts = sim::PanelModelsOf(*board_).timer2->timeouts(sim::GpTimer::kB);
    hmi_Beep();
    EXPECT_EQ(g_usMusicCount, 0);
    WaitMs(200);
    const auto tones = speaker().audibleTones();
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_NEAR(tones[1].hz, 784.0, 0.01);
    EXPECT_NEAR(tones[1].durationMs(), 125.0, 0.01);
    EXPECT_LT(tones[1].startMs - tones[0].endMs, 5.0) << "the running tick was not restarted";
    EXPECT_GT(sim::PanelModelsOf(*board_).timer2->timeouts(sim::GpTimer::kB), tickTimeouts);
}

// Tunes of unusual lengths, each copied to a block of exactly its size so that a read past its
// end is caught: an empty tune is muted on its first tick, and a start tick left without its
// frequency ends the tune there.
TEST_F(Sound, EmptyAndOddLengthTunesEndWithoutReadingPastThem) {
    struct Tone {
        double hz;
        double ms;
    };
    struct Case {
        std::vector<uint16_t> tune;
        std::vector<Tone> heard;
    };
    const Case cases[] = {
        {{}, {}},
        {{0}, {}},
        {{0, 1000, 5}, {{1000, 25}}},
        {{0, 1000, 5, 2000, 8}, {{1000, 25}, {2000, 15}}},
        {{2, 1000, 4}, {{1000, 10}}},
    };
    for (const Case& c : cases) {
        const size_t before = speaker().audibleTones().size();
        std::unique_ptr<uint16_t[]> tune(new uint16_t[c.tune.size()]);
        std::copy(c.tune.begin(), c.tune.end(), tune.get());
        SoundPlay(tune.get(), static_cast<uint16_t>(c.tune.size()));
        WaitMs(100);
        EXPECT_EQ(g_pusMusic, nullptr) << c.tune.size() << " elements: muted";
        ExpectPinLow();
        const auto tones = speaker().audibleTones();
        ASSERT_EQ(tones.size() - before, c.heard.size()) << c.tune.size() << " elements";
        for (size_t i = 0; i < c.heard.size(); ++i) {
            EXPECT_NEAR(tones[before + i].hz, c.heard[i].hz, 0.01);
            EXPECT_NEAR(tones[before + i].durationMs(), c.heard[i].ms, 0.01);
        }
    }
}

}  // namespace
