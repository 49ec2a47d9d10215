#include "window.hpp"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "panel_models.hpp"
#include "monitor_panel.hpp"
#include "script.hpp"
#include "workbench.hpp"

namespace app {

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
// Virtual time run per frame at most, so that the window stays responsive when the simulation
// cannot keep up with the wall clock.
constexpr double kMaxRunPerFrameMs = 100.0;

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
    Workbench& bench = *Workbench::Current();  // the finger goes through it to be recorded
    MonitorPanel monitorPanel(sdl.window, sdl.renderer, kWidth * options.scale,
                              kHeight * options.scale);
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
                        // a fault, or the Modbus monitor
                    } else if (event.key.keysym.sym == SDLK_s) {
                        char file[32];
                        std::snprintf(file, sizeof(file), "panel-%03d.png", ++screenshots);
                        SaveScreenshot(board, file);
                    }
                    break;
                case SDL_MOUSEBUTTONDOWN:
                    if (event.button.button == SDL_BUTTON_LEFT) {
                        fingerDown = true;
                        bench.press(event.button.x / options.scale, event.button.y / options.scale);
                    }
                    break;
                case SDL_MOUSEMOTION:
                    if (fingerDown) {
                        const int x = std::clamp(event.motion.x / options.scale, 0, kWidth - 1);
                        const int y = std::clamp(event.motion.y / options.scale, 0, kHeight - 1);
                        bench.press(x, y);
                    }
                    break;
                case SDL_MOUSEBUTTONUP:
                    if (event.button.button == SDL_BUTTON_LEFT) {
                        fingerDown = false;
                        bench.release();
                    }
                    break;
                default:
                    break;
            }
        }

        const uint64_t now = SDL_GetTicks64();
        if (!paused && !halted) {
            target +=
                std::min(static_cast<double>(now - lastFrame) * options.speed, kMaxRunPerFrameMs);
            if (panel.runUntilMs(target) == sim::StopReason::Halted) {
                halted = true;
                std::fprintf(stderr, "panel-sim: the firmware stopped: %s\n",
                             board.runner().haltReason().c_str());
            }
        }
        lastFrame = now;

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

        if (now - lastTitle >= 250) {
            lastTitle = now;
            std::string title = "panel-sim  " + StatusLine(panel);
            if (paused) {
                title += "  [paused]";
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
        SDL_Delay(10);
    }

    return halted ? 1 : 0;
}

}  // namespace app
