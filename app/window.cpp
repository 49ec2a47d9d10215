#include "window.hpp"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "commands.hpp"
#include "fault_kinds.hpp"
#include "debugger.hpp"
#include "finger.hpp"
#include "monitor_panel.hpp"
#include "panel_models.hpp"
#include "workbench.hpp"

namespace app {

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
// Virtual time runs in slices until it reaches the wall clock times the speed, or until a frame's
// wall-time budget is spent (the window stays responsive); a backlog the host cannot catch up
// with is dropped, and the title shows the speed actually reached.
constexpr uint64_t kFrameBudgetMs = 40;
// A slice is at least 50 virtual ms, and about 2 wall ms at the speed reached: each one is a
// hand-over to the firmware thread and back, too dear to make 20 of them a virtual second at
// high speeds.
constexpr double kSliceMs = 50.0;
constexpr double kSliceWallMs = 2.0;

struct Sdl {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    ~Sdl() {
        if (texture != nullptr) {
            SDL_DestroyTexture(texture);
        }
        if (renderer != nullptr) {
            SDL_DestroyRenderer(renderer);
        }
        if (window != nullptr) {
            SDL_DestroyWindow(window);
        }
        SDL_Quit();
    }
};

bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Why no window can be shown, or nothing when one can. SDL quietly falls back to an off-screen
// driver when no display answers, which would run an invisible window for ever.
std::string NoDisplayReason() {
    if (!Set("SDL_VIDEODRIVER") && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
        return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        return std::string("no window (") + SDL_GetError() + ")";
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "offscreen") == 0 ||
        std::strcmp(driver, "dummy") == 0) {
        SDL_Quit();
        return std::string("no display (SDL found only its '") +
               (driver != nullptr ? driver : "none") + "' video driver)";
    }
    return {};
}

// A short title with what a user looks for first: whether it runs, which screen, the link.
std::string Title(const Session& session, bool paused, bool halted, const std::string& linePeer,
                  double achievedSpeed, double speed) {
    std::string title = "panel-sim";
    const std::string debugHalt =
        session.debugger != nullptr ? session.debugger->haltedText() : std::string();
    if (!debugHalt.empty()) {
        title += " [" + debugHalt + "]";
    } else if (halted) {
        title += " [stopped]";
    } else if (paused) {
        title += " [paused]";
    } else if (achievedSpeed < 0.9 * speed) {
        // The host cannot keep up with the requested speed: say what it reaches.
        char reached[64];
        std::snprintf(reached, sizeof(reached), " [speed %.1fx of %gx]", achievedSpeed, speed);
        title += reached;
    }
    const std::optional<uint32_t> screen = session.view.screen();
    const std::optional<int32_t> error = session.view.dev1Error();
    char state[96];
    std::snprintf(state, sizeof(state), " screen %s  %.1f s  module %s",
                  screen ? std::to_string(*screen).c_str() : "?", session.panel.nowMs() / 1000.0,
                  !error        ? "?"
                  : *error == 0 ? "ok"
                                : "error");
    title += state;
    title += session.bench.titleSuffix();
    if (!linePeer.empty()) {
        title += "  UART1 " + linePeer;
    }
    return title;
}

}  // namespace

std::string NextScreenshotName() {
    for (int n = 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof(name), "panel-%03d.png", n);
        std::error_code error;
        if (!std::filesystem::exists(name, error) && !error) {
            return name;
        }
    }
}

namespace {

// Opens the window; false (the reason printed) when it cannot be.
bool OpenWindow(Sdl& sdl, int scale) {
    if (const std::string reason = NoDisplayReason(); !reason.empty()) {
        std::fprintf(stderr, "panel-sim: %s: running headless instead\n", reason.c_str());
        return false;
    }
    sdl.window = SDL_CreateWindow("panel-sim", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  kWidth * scale, kHeight * scale, 0);
    if (sdl.window != nullptr) {
        sdl.renderer = SDL_CreateRenderer(sdl.window, -1, 0);
    }
    if (sdl.renderer != nullptr) {
        sdl.texture = SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_RGB24,
                                        SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
    }
    if (sdl.texture == nullptr) {
        std::fprintf(stderr, "panel-sim: no window (%s): running headless instead\n",
                     SDL_GetError());
        return false;
    }
    return true;
}

// A bench command from a key; its output and any error printed.
bool RunKeyCommand(Session& session, const std::string& line) {
    const CommandResult result = RunCommandLine(session, line);
    std::fputs(result.output.c_str(), stdout);
    if (!result.ok) {
        std::fprintf(stderr, "panel-sim: %s\n", result.error.c_str());
    }
    std::fflush(stdout);
    return result.ok;
}

// One window session: the events, the virtual time paced to the wall clock, the picture.
class WindowRun {
  public:
    WindowRun(Session& session, const Options& options, Sdl& sdl, const std::string& linePeer)
        : session_(session),
          options_(options),
          sdl_(sdl),
          linePeer_(linePeer),
          finger_([&session](bool pressed, int x, int y) {
              if (const CommandResult r = RunTouch(session, pressed, x, y); !r.ok) {
                  std::fprintf(stderr, "panel-sim: %s\n", r.error.c_str());
              }
          }),
          monitorPanel_(sdl.window, sdl.renderer, kWidth * options.scale, kHeight * options.scale),
          start_(SDL_GetTicks64()),
          lastFrame_(start_),
          target_(session.panel.nowMs()),
          endMs_(options.secondsGiven ? options.seconds * 1000.0 : -1.0),
          speedWall_(start_),
          speedVirtual_(target_),
          achieved_(options.speed) {}

    // Until the window is closed, the run's end or --exit-after; the exit code.
    int run() {
        if (session_.debugger != nullptr) {
            // Held by a debugger: the title says where, and the window keeps answering its
            // system (what is clicked meanwhile is dropped: the firmware cannot take it).
            session_.debugger->whileHeld([this] {
                for (SDL_Event ignored; SDL_PollEvent(&ignored) != 0;) {
                }
                showTitle();
            });
        }
        while (events()) {
            const uint64_t now = SDL_GetTicks64();
            const bool behind = advance(now);
            measureSpeed(now);
            draw();
            if (finished(now)) {
                break;
            }
            if (!behind) {
                SDL_Delay(10);
            }
        }
        if (session_.debugger != nullptr) {
            session_.debugger->whileHeld(nullptr);  // it refers to this window
        }
        std::printf("%s\n", StatusLine(session_).c_str());
        return halted_ ? 1 : 0;
    }

  private:
    std::pair<int, int> toPanel(int windowX, int windowY) const {
        return {std::clamp(windowX / options_.scale, 0, kWidth - 1),
                std::clamp(windowY / options_.scale, 0, kHeight - 1)};
    }

    // The window's events so far; false when it is to close.
    bool events() {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            if (event.type == SDL_QUIT ||
                (event.type == SDL_KEYDOWN && !key(event.key.keysym.sym))) {
                return false;
            }
            mouse(event);
        }
        return true;
    }

    // A key; false when it closes the window.
    bool key(SDL_Keycode symbol) {
        if (symbol == SDLK_ESCAPE || symbol == SDLK_q) {
            return false;
        }
        if (symbol == SDLK_p) {
            paused_ = !paused_;
        } else if (symbol == SDLK_m) {
            monitorPanel_.toggle();
        } else if (const FaultKind* kind = FaultKindOfKey(symbol)) {
            RunKeyCommand(session_, std::string("fault ") + kind->name);
        } else if (symbol == SDLK_s) {
            const std::string file = NextScreenshotName();
            if (RunKeyCommand(session_, "screenshot " + file)) {
                std::printf("panel-sim: screen saved to %s\n", file.c_str());
                std::fflush(stdout);
            }
        }
        return true;
    }

    void mouse(const SDL_Event& event) {
        if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT) {
            buttonDown_ = true;
            const auto [x, y] = toPanel(event.button.x, event.button.y);
            finger_.down(x, y);
            if (paused_) {
                std::printf("panel-sim: paused: the touch reaches the panel when it resumes (P)\n");
                std::fflush(stdout);
            }
        } else if (event.type == SDL_MOUSEMOTION && buttonDown_) {
            const auto [x, y] = toPanel(event.motion.x, event.motion.y);
            finger_.move(x, y);
        } else if (event.type == SDL_MOUSEBUTTONUP && event.button.button == SDL_BUTTON_LEFT &&
                   buttonDown_) {
            buttonDown_ = false;
            finger_.up();
        }
    }

    // Runs virtual time in slices within the frame's budget, stopping where a held-back finger
    // event falls due; true when it is behind the wall clock.
    bool advance(uint64_t now) {
        sim::PanelHarness& panel = session_.panel;
        const uint64_t elapsed = now - lastFrame_;
        lastFrame_ = now;
        if (paused_ || halted_) {
            return false;
        }
        target_ += static_cast<double>(elapsed) * options_.speed;
        if (endMs_ >= 0) {
            target_ = std::min(target_, endMs_);
        }
        while (!halted_ && panel.nowMs() < target_ && SDL_GetTicks64() < now + kFrameBudgetMs) {
            const double due = finger_.apply(panel.nowMs());
            double step =
                std::min(target_, panel.nowMs() + std::max(kSliceMs, achieved_ * kSliceWallMs));
            if (due >= 0 && due < step) {
                step = due;
            }
            if (panel.runUntilMs(step) == sim::StopReason::Halted) {
                halted_ = true;
                std::fprintf(stderr, "panel-sim: the firmware stopped: %s\n",
                             panel.core().haltReason().c_str());
            }
        }
        const bool behind = panel.nowMs() < target_;
        target_ = std::min(target_, panel.nowMs());
        return behind;
    }

    // The speed reached over the last second or so.
    void measureSpeed(uint64_t now) {
        const double virtualNow = session_.panel.nowMs();
        if (paused_ || halted_) {
            speedWall_ = now;
            speedVirtual_ = virtualNow;
        } else if (now - speedWall_ >= 1000) {
            achieved_ = (virtualNow - speedVirtual_) / static_cast<double>(now - speedWall_);
            speedWall_ = now;
            speedVirtual_ = virtualNow;
        }
    }

    void draw() {
        sim::DisplayModule& display = sim::DisplayOf(session_.panel.board());
        if (display.version() != shownVersion_) {
            shownVersion_ = display.version();
            const std::vector<uint8_t> rgb = display.renderRgb();
            SDL_UpdateTexture(sdl_.texture, nullptr, rgb.data(), kWidth * 3);
        }
        SDL_RenderClear(sdl_.renderer);
        const SDL_Rect screen{0, 0, kWidth * options_.scale, kHeight * options_.scale};
        SDL_RenderCopy(sdl_.renderer, sdl_.texture, nullptr, &screen);
        monitorPanel_.draw(session_.bench.monitor());
        SDL_RenderPresent(sdl_.renderer);
        showTitle();
    }

    void showTitle() {
        if (const std::string title =
                Title(session_, paused_, halted_, linePeer_, achieved_, options_.speed);
            title != shownTitle_) {
            shownTitle_ = title;
            SDL_SetWindowTitle(sdl_.window, title.c_str());
        }
    }

    bool finished(uint64_t now) const {
        return (options_.exitAfter > 0 &&
                static_cast<double>(now - start_) >= options_.exitAfter * 1000.0) ||
               (endMs_ >= 0 && session_.panel.nowMs() >= endMs_);
    }

    Session& session_;
    const Options& options_;
    Sdl& sdl_;
    const std::string& linePeer_;
    Finger finger_;
    MonitorPanel monitorPanel_;
    uint64_t shownVersion_ = ~uint64_t{0};
    std::string shownTitle_;
    bool paused_ = false;
    bool halted_ = false;
    bool buttonDown_ = false;
    const uint64_t start_;
    uint64_t lastFrame_;
    double target_;
    const double endMs_;
    uint64_t speedWall_;
    double speedVirtual_;
    double achieved_;
};

}  // namespace

int RunWindow(Session& session, const Options& options, const std::string& linePeer) {
    Sdl sdl;
    if (!OpenWindow(sdl, options.scale)) {
        return -1;
    }
    WindowRun run(session, options, sdl, linePeer);
    return run.run();
}

}  // namespace app
