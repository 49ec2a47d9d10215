#include "window.hpp"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "debugger.hpp"
#include "finger.hpp"
#include "monitor_panel.hpp"
#include "panel_models.hpp"
#include "script.hpp"
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

bool SaveScreenshot(sim::Board& board, const std::string& file) {
    std::string error;
    if (!sim::DisplayOf(board).savePng(file, &error)) {
        std::fprintf(stderr, "panel-sim: cannot save %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    std::printf("panel-sim: screen saved to %s\n", file.c_str());
    std::fflush(stdout);
    return true;
}

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
                  !error ? "?" : *error == 0 ? "ok" : "error");
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

int RunWindow(Session& session, const Options& options, const std::string& linePeer) {
    sim::PanelHarness& panel = session.panel;
    if (const std::string reason = NoDisplayReason(); !reason.empty()) {
        std::fprintf(stderr, "panel-sim: %s: running headless instead\n", reason.c_str());
        return -1;
    }
    Sdl sdl;
    sdl.window = SDL_CreateWindow("panel-sim", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  kWidth * options.scale, kHeight * options.scale, 0);
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
        return -1;
    }

    sim::Board& board = panel.board();
    Finger finger(sim::TouchOf(board));
    Workbench& bench = session.bench;
    bench.watch(finger);  // what the finger does goes into the recording
    MonitorPanel monitorPanel(sdl.window, sdl.renderer, kWidth * options.scale,
                              kHeight * options.scale);
    sim::DisplayModule& display = sim::DisplayOf(board);
    uint64_t shownVersion = ~uint64_t{0};
    bool paused = false;
    bool halted = false;
    bool buttonDown = false;
    const uint64_t start = SDL_GetTicks64();
    uint64_t lastFrame = start;
    double target = panel.nowMs();
    const double endMs = options.secondsGiven ? options.seconds * 1000.0 : -1.0;
    std::string shownTitle;
    const auto toPanel = [&options](int windowX, int windowY) {
        return std::pair{std::clamp(windowX / options.scale, 0, kWidth - 1),
                         std::clamp(windowY / options.scale, 0, kHeight - 1)};
    };
    uint64_t speedWall = start;  // the achieved speed over the last second or so
    double speedVirtual = panel.nowMs();
    double achieved = options.speed;
    if (session.debugger != nullptr) {
        // Held by a debugger: the title says where, and the window keeps answering its system
        // (what is clicked meanwhile is dropped: the firmware cannot take it).
        session.debugger->whileHeld([&] {
            for (SDL_Event ignored; SDL_PollEvent(&ignored) != 0;) {
            }
            const std::string title =
                Title(session, paused, halted, linePeer, achieved, options.speed);
            if (title != shownTitle) {
                shownTitle = title;
                SDL_SetWindowTitle(sdl.window, title.c_str());
            }
        });
    }

    for (bool running = true; running;) {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            switch (event.type) {
                case SDL_QUIT:
                    running = false;
                    break;
                case SDL_KEYDOWN:
                    if (event.key.keysym.sym == SDLK_ESCAPE || event.key.keysym.sym == SDLK_q) {
                        running = false;
                    } else if (event.key.keysym.sym == SDLK_p) {
                        paused = !paused;
                    } else if (event.key.keysym.sym == SDLK_m) {
                        monitorPanel.toggle();
                    } else if (bench.key(event.key.keysym.sym)) {
                        // a module fault
                    } else if (event.key.keysym.sym == SDLK_s) {
                        SaveScreenshot(board, NextScreenshotName());
                    }
                    break;
                case SDL_MOUSEBUTTONDOWN:
                    if (event.button.button == SDL_BUTTON_LEFT) {
                        buttonDown = true;
                        const auto [x, y] = toPanel(event.button.x, event.button.y);
                        finger.down(x, y);
                        if (paused) {
                            std::printf("panel-sim: paused: the touch reaches the panel when it "
                                        "resumes (P)\n");
                            std::fflush(stdout);
                        }
                    }
                    break;
                case SDL_MOUSEMOTION:
                    if (buttonDown) {
                        const auto [x, y] = toPanel(event.motion.x, event.motion.y);
                        finger.move(x, y);
                    }
                    break;
                case SDL_MOUSEBUTTONUP:
                    if (event.button.button == SDL_BUTTON_LEFT && buttonDown) {
                        buttonDown = false;
                        finger.up();
                    }
                    break;
                default:
                    break;
            }
        }

        const uint64_t now = SDL_GetTicks64();
        bool behind = false;
        if (!paused && !halted) {
            target += static_cast<double>(now - lastFrame) * options.speed;
            if (endMs >= 0) {
                target = std::min(target, endMs);
            }
            // Run in slices within the frame's budget, stopping where a held-back finger event
            // falls due.
            while (!halted && panel.nowMs() < target && SDL_GetTicks64() < now + kFrameBudgetMs) {
                const double due = finger.apply(panel.nowMs());
                double step =
                    std::min(target, panel.nowMs() + std::max(kSliceMs, achieved * kSliceWallMs));
                if (due >= 0 && due < step) {
                    step = due;
                }
                if (panel.runUntilMs(step) == sim::StopReason::Halted) {
                    halted = true;
                    std::fprintf(stderr, "panel-sim: the firmware stopped: %s\n",
                                 panel.core().haltReason().c_str());
                }
            }
            behind = panel.nowMs() < target;
            target = std::min(target, panel.nowMs());
        }
        lastFrame = now;
        if (paused || halted) {
            speedWall = now;
            speedVirtual = panel.nowMs();
        } else if (now - speedWall >= 1000) {
            achieved = (panel.nowMs() - speedVirtual) / static_cast<double>(now - speedWall);
            speedWall = now;
            speedVirtual = panel.nowMs();
        }

        if (display.version() != shownVersion) {
            shownVersion = display.version();
            const std::vector<uint8_t> rgb = display.renderRgb();
            SDL_UpdateTexture(sdl.texture, nullptr, rgb.data(), kWidth * 3);
        }
        SDL_RenderClear(sdl.renderer);
        const SDL_Rect screen{0, 0, kWidth * options.scale, kHeight * options.scale};
        SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, &screen);
        monitorPanel.draw(bench.monitor());
        SDL_RenderPresent(sdl.renderer);

        if (const std::string title =
                Title(session, paused, halted, linePeer, achieved, options.speed);
            title != shownTitle) {
            shownTitle = title;
            SDL_SetWindowTitle(sdl.window, title.c_str());
        }
        if (options.exitAfter > 0 &&
            static_cast<double>(now - start) >= options.exitAfter * 1000.0) {
            running = false;
        }
        if (endMs >= 0 && panel.nowMs() >= endMs) {
            running = false;
        }
        if (!behind) {
            SDL_Delay(10);
        }
    }

    if (session.debugger != nullptr) {
        session.debugger->whileHeld(nullptr);  // it refers to this window
    }
    std::printf("%s\n", StatusLine(session).c_str());
    return halted ? 1 : 0;
}

}  // namespace app
