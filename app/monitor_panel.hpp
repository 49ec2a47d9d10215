// The Modbus monitor beside the panel in the window: the last exchanges and the error counters,
// shown or hidden by a key (the window widens to make room).
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdint>
#include <string>

#include "modbus_monitor.hpp"

namespace app {

class MonitorPanel {
  public:
    static constexpr int kWidth = 520;

    // The panel's picture takes screenWidth x screenHeight at the window's left.
    MonitorPanel(SDL_Window* window, SDL_Renderer* renderer, int screenWidth, int screenHeight);
    ~MonitorPanel();
    MonitorPanel(const MonitorPanel&) = delete;
    MonitorPanel& operator=(const MonitorPanel&) = delete;

    void toggle();
    bool visible() const { return visible_; }
    // Draws the side panel if shown (its text is remade at most a few times a second).
    void draw(const ModbusMonitor& monitor);

  private:
    void remake(const ModbusMonitor& monitor);

    SDL_Window* window_;
    SDL_Renderer* renderer_;
    int screenWidth_;
    int screenHeight_;
    bool visible_ = false;
    TTF_Font* font_ = nullptr;
    SDL_Texture* text_ = nullptr;
    uint64_t madeAt_ = 0;
};

}  // namespace app
