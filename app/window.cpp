#include "window.hpp"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "panel_models.hpp"
#include "script.hpp"

namespace app {

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
// Virtual time runs in slices until it reaches the wall clock times the speed, or until a frame's
// wall-time budget is spent (the window stays responsive); a backlog the host cannot catch up
// with is dropped, and the title shows the speed actually reached.
constexpr uint64_t kFrameBudgetMs = 40;
constexpr double kSliceMs = 50.0;

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
    return true;
}

}  // namespace

int RunWindow(sim::PanelHarness& panel, const Options& options) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "panel-sim: no window (%s)\n", SDL_GetError());
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
        std::fprintf(stderr, "panel-sim: no window (%s)\n", SDL_GetError());
        return -1;
    }

    sim::Board& board = panel.board();
    sim::TouchPanel& touch = sim::TouchOf(board);
    sim::DisplayModule& display = sim::DisplayOf(board);
    uint64_t shownVersion = ~uint64_t{0};
    bool paused = false;
    bool halted = false;
    bool fingerDown = false;
    int screenshots = 0;
    const uint64_t start = SDL_GetTicks64();
    uint64_t lastFrame = start;
    double target = panel.nowMs();
    uint64_t lastTitle = 0;
    uint64_t speedWall = start;  // the achieved speed over the last second or so
    double speedVirtual = panel.nowMs();
    double achieved = options.speed;

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
                    } else if (event.key.keysym.sym == SDLK_s) {
                        char file[32];
                        std::snprintf(file, sizeof(file), "panel-%03d.png", ++screenshots);
                        SaveScreenshot(board, file);
                    }
                    break;
                case SDL_MOUSEBUTTONDOWN:
                    if (event.button.button == SDL_BUTTON_LEFT) {
                        fingerDown = true;
                        touch.press(event.button.x / options.scale, event.button.y / options.scale);
                    }
                    break;
                case SDL_MOUSEMOTION:
                    if (fingerDown) {
                        const int x = std::clamp(event.motion.x / options.scale, 0, kWidth - 1);
                        const int y = std::clamp(event.motion.y / options.scale, 0, kHeight - 1);
                        touch.press(x, y);
                    }
                    break;
                case SDL_MOUSEBUTTONUP:
                    if (event.button.button == SDL_BUTTON_LEFT) {
                        fingerDown = false;
                        touch.release();
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
            while (!halted && panel.nowMs() < target && SDL_GetTicks64() < now + kFrameBudgetMs) {
                if (panel.runUntilMs(std::min(target, panel.nowMs() + kSliceMs)) ==
                    sim::StopReason::Halted) {
                    halted = true;
                    std::fprintf(stderr, "panel-sim: the firmware stopped: %s\n",
                                 board.runner().haltReason().c_str());
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
        SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, nullptr);
        SDL_RenderPresent(sdl.renderer);

        if (now - lastTitle >= 250) {
            lastTitle = now;
            std::string title = "panel-sim  " + StatusLine(panel);
            if (paused) {
                title += "  [paused]";
            } else if (achieved < 0.9 * options.speed) {
                char speed[64];
                std::snprintf(speed, sizeof(speed), "  [speed %.1fx of %gx]", achieved,
                              options.speed);
                title += speed;
            }
            if (halted) {
                title += "  [stopped: " + board.runner().haltReason() + "]";
            }
            SDL_SetWindowTitle(sdl.window, title.c_str());
        }
        if (options.exitAfter > 0 &&
            static_cast<double>(now - start) >= options.exitAfter * 1000.0) {
            running = false;
        }
        if (!behind) {
            SDL_Delay(10);
        }
    }

    return halted ? 1 : 0;
}

}  // namespace app
