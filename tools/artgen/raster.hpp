// A small supersampled painter for the panel's artwork: shapes and text are laid down at several
// samples per pixel and averaged, which gives the soft edges (and the colours) of drawn artwork.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "png_io.hpp"

namespace artgen {

struct Point {
    double x;
    double y;
};

// A colour for a point of the picture (in picture pixels).
using Shader = std::function<uint32_t(Point)>;

inline Shader Solid(uint32_t rgb) {
    return [rgb](Point) { return rgb; };
}
// Colour a at `from`, b at `to`, interpolated along the line between them (clamped).
Shader LinearGradient(Point from, Point to, uint32_t a, uint32_t b);
// Colour a at the centre, b at the radius (clamped).
Shader RadialGradient(Point centre, double radius, uint32_t a, uint32_t b);

uint32_t Mix(uint32_t a, uint32_t b, double t);

class Painter {
  public:
    Painter(int width, int height, int samples, uint32_t background);

    // Paints every sample inside the shape with the shader, at the given opacity (0..1).
    void fill(const std::function<bool(Point)>& inside, const Shader& shader, double opacity = 1.0);
    void circle(Point centre, double radius, const Shader& shader, double opacity = 1.0);
    void ring(Point centre, double inner, double outer, const Shader& shader);
    void ellipse(Point centre, double rx, double ry, const Shader& shader, double opacity = 1.0);
    void roundedRect(double x0, double y0, double x1, double y1, double radius,
                     const Shader& shader);
    // A stroke of the given width between two points, with round ends.
    void line(Point a, Point b, double width, const Shader& shader);

    // Text in a scalable font (path to the face); `left` and `baseline` in picture pixels,
    // `pixelHeight` the em size. Returns the advance in picture pixels.
    double text(const std::string& face, const std::string& text, double left, double baseline,
                double pixelHeight, const Shader& shader, double tracking = 0.0);

    // The picture: the samples of each pixel averaged.
    pngio::RgbImage resolve() const;

  private:
    Point samplePoint(int sx, int sy) const;

    int width_;
    int height_;
    int samples_;
    std::vector<uint32_t> pixels_;  // width * samples by height * samples
};

}  // namespace artgen
