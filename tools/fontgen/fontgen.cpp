// fontgen: renders the printable ASCII glyphs of a scalable font with FreeType, fits each into
// the cell height, baseline and glyph width the panel's fonts require, and writes the
// run-length coded font sources (fontcm12.cpp, fontcm14.cpp, fontcm14b.cpp).
//
//   fontgen --regular FILE --bold FILE --out-dir DIR [--preview PNG]
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "command_line.hpp"
#include "glyph_code.hpp"
#include "png_io.hpp"

namespace {

constexpr int kGlyphCount = 95;  // codes 32..126
constexpr uint32_t kEmDash = 0x2014;

struct FontLayout {
    const char* source;  // file written into the output folder
    const char* record;  // the FontRecord's name
    const char* data;    // the glyph data's name
    bool bold;           // drawn from the bold face
    int maxWidth;        // the header's informational maximum width
    int height;          // rows per cell
    int baseline;        // rows above the baseline
    double pixelsPerEm;  // rendering size, chosen so that capitals fill the rows they must
    int capitalRows;     // rows of a capital letter (checked)
    std::array<int, kGlyphCount> widths;
};

const FontLayout kFonts[] = {
    {"fontcm12.cpp",
     "g_sFontCm12",
     "g_pucCm12Data",
     false,
     10,
     13,
     10,
     12.5,
     9,
     {5, 2, 5,  9, 6, 10, 10, 3,  4, 4,  3, 8, 3, 4, 2, 5, 6, 4, 6, 5, 6,  6,  6, 5,
      5, 6, 2,  2, 2, 8,  6,  6,  9, 9,  8, 9, 9, 9, 9, 9, 9, 4, 5, 9, 7,  10, 8, 9,
      8, 9, 10, 7, 9, 9,  9,  12, 9, 10, 7, 3, 5, 3, 4, 2, 3, 7, 7, 5, 7,  6,  5, 7,
      7, 3, 3,  7, 4, 10, 7,  6,  7, 7,  5, 5, 6, 7, 6, 8, 7, 7, 5, 7, 12, 4,  5}},
    {"fontcm14.cpp",
     "g_sFontCm14",
     "g_pucCm14Data",
     false,
     12,
     14,
     11,
     14.0,
     10,
     {6, 2, 5,  10, 7,  12, 11, 3,  4,  4,  6, 10, 3, 4,  2, 6,  7, 6, 7, 6,  7,  7,  7,  7,
      7, 7, 2,  2,  2,  10, 5,  5,  10, 10, 8, 9,  9, 10, 8, 10, 9, 4, 6, 10, 8,  11, 10, 9,
      8, 9, 10, 8,  10, 10, 10, 14, 10, 10, 8, 3,  6, 3,  4, 2,  3, 8, 8, 6,  8,  6,  5,  7,
      8, 4, 4,  7,  4,  11, 8,  7,  8,  8,  6, 6,  6, 8,  7, 10, 8, 7, 6, 7,  14, 5,  5}},
    {"fontcm14b.cpp",
     "g_sFontCm14b",
     "g_pucCm14bData",
     true,
     13,
     14,
     11,
     14.0,
     10,
     {6, 3, 6,  11, 6, 11, 10, 3,  4,  4,  6, 10, 3, 5, 3, 6,  6, 6, 5, 5, 6,  5,  5,  6,
      6, 5, 3,  3,  3, 10, 5,  5,  10, 11, 8, 8,  9, 8, 8, 9,  9, 4, 7, 9, 7,  12, 10, 8,
      8, 9, 10, 7,  8, 10, 11, 15, 11, 10, 8, 3,  7, 3, 5, 3,  3, 7, 7, 5, 7,  7,  6,  7,
      8, 4, 5,  7,  4, 12, 8,  7,  7,  7,  6, 6,  6, 8, 8, 11, 8, 7, 6, 8, 15, 4,  6}},
};

// Coverage at or above this level (of 255) becomes a foreground pixel.
constexpr int kInkThreshold = 60;

struct Cell {
    int width = 0;
    int height = 0;
    std::vector<bool> pixels;
    bool at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A thresholded rendering of one glyph: ink columns left..right-1 relative to the pen, rows
// relative to the baseline (top is the row index of the first bitmap row above it).
struct Ink {
    int left = 0;
    int top = 0;
    int advance = 0;
    int width = 0;
    int height = 0;
    std::vector<bool> pixels;
    bool at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Trims a rendered glyph to the rows and columns that carry ink: `inked(row, column)` over a
// bitmap of `rows` x `columns` whose top left is at (bitmapLeft, bitmapTop). Returns false (ink
// left as it is) when nothing is inked.
template <class Inked>
bool TrimToInk(int rows, int columns, int bitmapLeft, int bitmapTop, Inked inked, Ink& ink) {
    int minX = INT32_MAX, maxX = -1, minY = INT32_MAX, maxY = -1;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (inked(row, column)) {
                minX = std::min(minX, column);
                maxX = std::max(maxX, column);
                minY = std::min(minY, row);
                maxY = std::max(maxY, row);
            }
        }
    }
    if (maxX < 0) {
        return false;
    }
    ink.left = bitmapLeft + minX;
    ink.top = bitmapTop - minY;
    ink.width = maxX - minX + 1;
    ink.height = maxY - minY + 1;
    ink.pixels.resize(static_cast<size_t>(ink.width) * ink.height);
    for (int row = 0; row < ink.height; ++row) {
        for (int column = 0; column < ink.width; ++column) {
            ink.pixels[static_cast<size_t>(row) * ink.width + column] =
                inked(minY + row, minX + column);
        }
    }
    return true;
}

// Coverage at or above this level (of 255) becomes a foreground pixel when a glyph is fitted.
constexpr int kFitThreshold = 100;
// Coverage of two pixels, one above the other, that together make one pixel of a thin stroke.
constexpr int kSplitStroke = 160;

// A grey rendering (vertical hinting only) with its coverage kept, for fitting the glyph to the
// pixel grid horizontally ourselves.
struct GreyInk {
    Ink ink;            // thresholded, trimmed to the inked columns and rows
    double blur = 0;    // coverage that is neither clearly ink nor clearly paper, in pixels
    int stem = 0;       // the weight of the left stroke, in pixels
    int stemRight = 0;  // and of the right one
    int heavy = 0;      // rows' runs of ink one pixel heavier than a stroke
    int spurs = 0;      // outer columns holding a single pixel (a curve's point, not a side)
};

class Renderer {
  public:
    // For Render: regular faces are hinted for black and white, the bold face vertically only
    // and thresholded. RenderGrey (the glyph fitting) hints vertically only in both and finds
    // the horizontal grid itself.
    Renderer(const std::string& path, bool bold)
        : loadFlags_(bold ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_MONO), stroke_(bold ? 1.8 : 1.0) {
        if (FT_Init_FreeType(&library_) != 0 ||
            FT_New_Face(library_, path.c_str(), 0, &face_) != 0) {
            std::fprintf(stderr, "fontgen: cannot open %s\n", path.c_str());
            std::exit(1);
        }
    }
    ~Renderer() {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }

    std::string Name() const { return std::string(face_->family_name) + " " + face_->style_name; }

    // Renders at pixelsPerEm vertically and squeeze * pixelsPerEm horizontally, trimmed to
    // the columns and rows that carry ink.
    Ink Render(uint32_t character, double pixelsPerEm, double squeeze) {
        const auto height = static_cast<FT_F26Dot6>(std::lround(pixelsPerEm * 64));
        const auto width = static_cast<FT_F26Dot6>(std::lround(pixelsPerEm * squeeze * 64));
        FT_Set_Char_Size(face_, width, height, 72, 72);
        if (FT_Load_Char(face_, character, FT_LOAD_RENDER | loadFlags_ | FT_LOAD_NO_BITMAP) != 0) {
            std::fprintf(stderr, "fontgen: no glyph for U+%04X\n", character);
            std::exit(1);
        }
        const FT_GlyphSlot slot = face_->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        auto covered = [&](unsigned row, unsigned column) {
            const uint8_t* line = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                return (line[column / 8] & (0x80 >> (column % 8))) != 0;
            }
            return line[column] >= kInkThreshold;
        };
        Ink ink;
        ink.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        TrimToInk(static_cast<int>(bitmap.rows), static_cast<int>(bitmap.width), slot->bitmap_left,
                  slot->bitmap_top,
                  [&](int row, int column) {
                      return covered(static_cast<unsigned>(row), static_cast<unsigned>(column));
                  },
                  ink);
        return ink;
    }

    // Renders at pixelsPerEm vertically and squeeze * pixelsPerEm horizontally, shifted right
    // by shift pixels (a fraction), grey, thresholded at threshold.
    GreyInk RenderGrey(uint32_t character, double pixelsPerEm, double squeeze, double shift,
                       int threshold) {
        const auto height = static_cast<FT_F26Dot6>(std::lround(pixelsPerEm * 64));
        const auto width = static_cast<FT_F26Dot6>(std::lround(pixelsPerEm * squeeze * 64));
        FT_Set_Char_Size(face_, width, height, 72, 72);
        FT_Vector delta{static_cast<FT_Pos>(std::lround(shift * 64)), 0};
        FT_Set_Transform(face_, nullptr, &delta);
        FT_Error error = FT_Load_Char(face_, character, FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP);
        if (error == 0 && squeeze != 1.0) {
            // Squeezing thins the vertical strokes and stretching thickens them: give them back
            // the face's own weight.
            const double change = 1.0 - std::clamp(squeeze, 0.5, 2.0);
            const auto strength = static_cast<FT_Pos>(std::lround(stroke_ * change * 64));
            error = FT_Outline_EmboldenXY(&face_->glyph->outline, strength, 0);
        }
        if (error == 0) {
            error = FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_NORMAL);
        }
        FT_Set_Transform(face_, nullptr, nullptr);
        if (error != 0) {
            std::fprintf(stderr, "fontgen: no glyph for U+%04X\n", character);
            std::exit(1);
        }
        const FT_GlyphSlot slot = face_->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        GreyInk grey;
        Ink& ink = grey.ink;
        ink.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        auto coverage = [&](int row, int column) {
            return static_cast<int>(
                bitmap.buffer[static_cast<ptrdiff_t>(row) * bitmap.pitch + column]);
        };
        const int rows = static_cast<int>(bitmap.rows);
        const int columns = static_cast<int>(bitmap.width);
        std::vector<bool> on(static_cast<size_t>(rows) * columns);
        auto inked = [&](int row, int column) {
            return on[static_cast<size_t>(row) * columns + column];
        };
        for (int row = 0; row < rows; ++row) {
            for (int column = 0; column < columns; ++column) {
                const int c = coverage(row, column);
                grey.blur += std::min(c, 255 - c) / 255.0;
                on[static_cast<size_t>(row) * columns + column] = c >= threshold;
            }
        }
        // A thin horizontal stroke (the top of an 'O') that falls across two rows is kept, in
        // the row that has more of it, rather than lost to the threshold in both.
        for (int row = 0; row + 1 < rows; ++row) {
            for (int column = 0; column < columns; ++column) {
                const int upper = coverage(row, column);
                const int lower = coverage(row + 1, column);
                if (!inked(row, column) && !inked(row + 1, column) &&
                    upper + lower >= kSplitStroke && std::min(upper, lower) >= kSplitStroke / 4) {
                    on[static_cast<size_t>(upper >= lower ? row : row + 1) * columns + column] =
                        true;
                }
            }
        }
        if (!TrimToInk(rows, columns, slot->bitmap_left, slot->bitmap_top, inked, ink)) {
            return grey;
        }
        grey.stem = StrokeWidth(ink, false);
        grey.stemRight = StrokeWidth(ink, true);
        grey.heavy = HeavyRuns(ink, stroke_ < 1.5 ? 2 : 3);
        for (const int column : {0, ink.width - 1}) {
            int count = 0;
            for (int row = 0; row < ink.height; ++row) {
                count += ink.at(column, row) ? 1 : 0;
            }
            grey.spurs += count == 1 ? 1 : 0;
        }
        return grey;
    }

  private:
    // The runs of ink of exactly length pixels across all rows: strokes one pixel too heavy.
    static int HeavyRuns(const Ink& ink, int length) {
        int heavy = 0;
        for (int row = 0; row < ink.height; ++row) {
            int run = 0;
            for (int column = 0; column <= ink.width; ++column) {
                if (column < ink.width && ink.at(column, row)) {
                    ++run;
                    continue;
                }
                heavy += run == length ? 1 : 0;
                run = 0;
            }
        }
        return heavy;
    }

    // The middle one of the rows' first (or last) runs of ink: the weight of the glyph's left
    // (right) stroke.
    static int StrokeWidth(const Ink& ink, bool right) {
        std::vector<int> runs;
        auto inked = [&](int column, int row) {
            return ink.at(right ? ink.width - 1 - column : column, row);
        };
        for (int row = 0; row < ink.height; ++row) {
            int column = 0;
            while (column < ink.width && !inked(column, row)) {
                ++column;
            }
            int run = 0;
            while (column < ink.width && inked(column, row)) {
                ++column;
                ++run;
            }
            if (run > 0) {
                runs.push_back(run);
            }
        }
        if (runs.empty()) {
            return 0;
        }
        std::nth_element(runs.begin(), runs.begin() + static_cast<ptrdiff_t>(runs.size() / 2),
                         runs.end());
        return runs[runs.size() / 2];
    }

    FT_Int32 loadFlags_;
    double stroke_;  // the weight of a vertical stroke at the face's own proportions, in pixels
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

std::string CharName(int code) {
    if (code == '\'') {
        return "'\\''";
    }
    if (code == '\\') {
        return "'\\\\'";
    }
    return std::string("'") + static_cast<char>(code) + "'";
}

// How much a change of the face's proportions costs against a column of grey coverage.
constexpr double kShapeWeight = 4.0;
// And a stroke heavier or lighter than the face's weight (one pixel, two in bold).
constexpr double kWeightWeight = 3.0;
// And each row's run of ink one pixel heavier than the stroke (a thickened stem or bowl).
constexpr double kHeavyWeight = 0.5;
// And an outer column that holds one pixel only: a round side drawn as a point.
constexpr double kSpurWeight = 3.0;
// What a second blank column after a glyph costs against a cleaner shape.
constexpr double kWideGapWeight = 2.0;
// Beyond these horizontal scales a glyph loses its shape; fitted only when nothing else fits.
constexpr double kLeastSqueeze = 0.5;
constexpr double kMostStretch = 1.6;

// A lone vertical stroke widened to width columns by serifs: the stroke centred, a bar across the
// top (capitals) or a flag to its left (small letters) where the stroke begins, and a foot across
// the width where it stands on the baseline.
Ink WithSerifs(const Ink& stroke, int width, bool capital) {
    Ink ink = stroke;
    ink.width = width;
    ink.pixels.assign(static_cast<size_t>(width) * ink.height, false);
    const int left = (width - stroke.width) / 2;
    auto set = [&](int x, int y) { ink.pixels[static_cast<size_t>(y) * width + x] = true; };
    int stemTop = 0;  // the first row after the last blank one: below an 'i's dot
    for (int row = 0; row < stroke.height; ++row) {
        bool any = false;
        for (int column = 0; column < stroke.width; ++column) {
            if (stroke.at(column, row)) {
                set(left + column, row);
                any = true;
            }
        }
        if (!any) {
            stemTop = row + 1;
        }
    }
    for (int column = 0; column < (capital ? width : left); ++column) {
        set(column, stemTop);
    }
    const int bottom = stroke.height - 1;
    if (stroke.top - stroke.height == 0) {  // the last row is the one above the baseline
        for (int column = 0; column < width; ++column) {
            set(column, bottom);
        }
    }
    return ink;
}

// A ring `width` x `height` pixels: the outline a superellipse a little fuller than an ellipse,
// its strokes strokeX pixels wide at the sides and strokeY at the top and bottom; a pixel is ink
// when more than half of it is covered (16 x 16 samples).
Ink Ring(int width, int height, double strokeX, double strokeY) {
    constexpr double kExponent = 2.5;
    constexpr int kSamples = 16;
    const double a = width / 2.0;
    const double b = height / 2.0;
    const double innerA = a - strokeX;
    const double innerB = b - strokeY;
    auto inside = [](double x, double y, double semiX, double semiY) {
        return semiX > 0 && semiY > 0 &&
               std::pow(std::fabs(x / semiX), kExponent) + std::pow(std::fabs(y / semiY), kExponent) <=
                   1.0;
    };
    Ink ink;
    ink.width = width;
    ink.height = height;
    ink.pixels.resize(static_cast<size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            int covered = 0;
            for (int j = 0; j < kSamples; ++j) {
                for (int i = 0; i < kSamples; ++i) {
                    const double x = column + (i + 0.5) / kSamples - a;
                    const double y = row + (j + 0.5) / kSamples - b;
                    covered += inside(x, y, a, b) && !inside(x, y, innerA, innerB) ? 1 : 0;
                }
            }
            ink.pixels[static_cast<size_t>(row) * width + column] =
                2 * covered > kSamples * kSamples;
        }
    }
    return ink;
}

// Fits one glyph to its cell. Its ink starts at the cell's left edge and ends one column short
// of the right (two where that fits much more cleanly, more only where nothing else fits), so
// that any two letters stand one or two blank columns apart. Among the horizontal scales and
// sub-pixel shifts that give that width, the one chosen leaves the least grey coverage (vertical
// strokes on whole pixels, which thresholding then keeps whole) at the smallest change of the
// face's proportions, with the face's stroke weight (two pixels bold, one regular) and round
// sides drawn as sides. Sat on the baseline; ink above or below the cell is cut.
Cell FitGlyph(Renderer& renderer, const FontLayout& layout, int code) {
    const int width = layout.widths[code - 32];
    Cell cell{width, layout.height, std::vector<bool>(static_cast<size_t>(width) * layout.height)};
    if (code == ' ') {
        return cell;
    }
    Ink ink;
    int x = 0;
    if (code == '|') {
        // The panel's '|' is a horizontal dash across the whole cell.
        double squeeze = 1.0;
        ink = renderer.Render(kEmDash, layout.pixelsPerEm, squeeze);
        while (ink.width > width && squeeze > 0.2) {
            squeeze *= 0.97;
            ink = renderer.Render(kEmDash, layout.pixelsPerEm, squeeze);
        }
        while (ink.width < width && squeeze < 4.0) {
            squeeze *= 1.03;
            Ink wider = renderer.Render(kEmDash, layout.pixelsPerEm, squeeze);
            if (wider.width > width) {
                break;
            }
            ink = wider;
        }
        x = (width - ink.width) / 2;
    } else {
        const int wantStem = layout.bold ? 2 : 1;
        // The best rendering whose ink is target columns wide (any width for target 0), among
        // horizontal scales from least to most; none: width 0.
        double best = 1e9;
        auto search = [&](int target, double least, double most) {
            Ink found;
            best = 1e9;
            for (double squeeze = least; squeeze < most; squeeze *= 1.02) {  // 2 % steps
                for (int quarter = 0; quarter < 4; ++quarter) {
                    const GreyInk grey =
                        renderer.RenderGrey(static_cast<uint32_t>(code), layout.pixelsPerEm,
                                            squeeze, quarter / 4.0, kFitThreshold);
                    if (grey.ink.width == 0 || (target != 0 && grey.ink.width != target)) {
                        continue;
                    }
                    const double score = grey.blur + kShapeWeight * std::fabs(std::log(squeeze)) +
                                         kWeightWeight * (std::abs(grey.stem - wantStem) +
                                                          std::abs(grey.stemRight - wantStem)) +
                                         kHeavyWeight * grey.heavy + kSpurWeight * grey.spurs;
                    if (score < best) {
                        best = score;
                        found = grey.ink;
                    }
                }
            }
            return found;
        };
        // A lone stroke ('I', 'i', 'l', 'j') stretched to its cell would be a block: it keeps
        // its own weight, with slab serifs across the width where the cell is wide enough.
        const Ink natural = std::isalpha(code) != 0 ? search(0, 0.9, 1.1) : Ink{};
        if (natural.width > 0 && natural.width <= wantStem) {
            if (width - 1 - natural.width >= 2) {
                ink = WithSerifs(natural, width - 1, std::isupper(code) != 0);
            } else if (natural.width >= width - 2) {
                ink = natural;
            }
        }
        if (ink.width == 0) {
            // One blank column where a clean fit gives it, else two.
            ink = search(width - 1, kLeastSqueeze, kMostStretch);
            const double narrowest = ink.width > 0 ? best : 1e9;
            if (width > 2) {
                const Ink narrower = search(width - 2, kLeastSqueeze, kMostStretch);
                if (narrower.width > 0 && best + kWideGapWeight < narrowest) {
                    ink = narrower;
                }
            }
        }
        for (int target = width - 1; target > 0 && ink.width == 0; --target) {
            ink = search(target, 0.05, 3.0);  // out of proportion, as nothing else fits
        }
        if (ink.width == 0) {
            std::fprintf(stderr, "fontgen: %s: no fit for %s in %d columns\n", layout.record,
                         CharName(code).c_str(), width);
            std::exit(1);
        }
        if (code == 'O') {
            // The face's O squeezed into its cell comes out as narrow and as pointed at the top
            // and bottom as the zero ("DIODY" read "DI0DY"): drawn instead as a round ring the
            // full width of the cell, at the fitted O's height and with the face's strokes.
            const int top = ink.top;
            ink = Ring(width - 1, ink.height, layout.bold ? 2.0 : 1.0, layout.bold ? 1.5 : 1.0);
            ink.top = top;
        }
    }
    int y = layout.baseline - ink.top;
    if (ink.top <= 0 && y + ink.height > layout.height) {
        // Marks wholly below the baseline ('_') move up into the cell instead of being cut.
        y = layout.height - ink.height;
    }
    for (int row = 0; row < ink.height; ++row) {
        for (int column = 0; column < ink.width; ++column) {
            const int cx = x + column;
            const int cy = y + row;
            if (cx >= 0 && cx < width && cy >= 0 && cy < layout.height && ink.at(column, row)) {
                cell.pixels[static_cast<size_t>(cy) * width + cx] = true;
            }
        }
    }
    return cell;
}

// Width of the first run of ink in the middle row: the stroke weight.
int StemWidth(const Ink& ink) {
    const int row = ink.height / 4;
    int column = 0;
    while (column < ink.width && !ink.at(column, row)) {
        ++column;
    }
    int stem = 0;
    while (column < ink.width && ink.at(column, row)) {
        ++column;
        ++stem;
    }
    return stem;
}

std::string Hex(uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof(text), "0x%02X", byte);
    return text;
}

std::string FontSource(const FontLayout& layout, const std::string& faceName,
                       const std::vector<Cell>& cells, const std::string& command) {
    std::ostringstream data;
    std::vector<int> offsets;
    int total = 0;
    for (int index = 0; index < kGlyphCount; ++index) {
        const Cell& cell = cells[index];
        const std::vector<uint8_t> code = fontgen::EncodeCell(cell.pixels);
        const int length = static_cast<int>(code.size()) + 2;
        if (length > 255) {
            std::fprintf(stderr, "fontgen: glyph %d too long\n", index + 32);
            std::exit(1);
        }
        offsets.push_back(total);
        total += length;
        data << "    // " << CharName(index + 32) << "\n";
        for (int row = 0; row < cell.height; ++row) {
            data << "    //   ";
            for (int column = 0; column < cell.width; ++column) {
                data << (cell.at(column, row) ? '#' : '.');
            }
            data << (row == layout.baseline - 1 ? "  <- baseline\n" : "\n");
        }
        data << "    " << Hex(static_cast<uint8_t>(length)) << ", " << cell.width << ",";
        for (uint8_t byte : code) {
            data << " " << Hex(byte) << ",";
        }
        data << "\n";
    }
    offsets.push_back(0);  // code 127 has no glyph

    std::ostringstream out;
    out << "// Generated by tools/fontgen from " << faceName
        << " (Debian package fonts-cmu). Do not edit: regenerate with\n"
        << gensource::CommandComment(command)
        << "// " << layout.height << "-row cells, baseline after row " << layout.baseline - 1
        << "; glyph records of codes 32-126, run-length coded.\n"
        << "#include \"graphics/string.hpp\"\n\n"
        << "namespace {\n\n"
        << "const uint8_t " << layout.data << "[" << total << "] = {\n"
        << data.str() << "};\n\n"
        << "}  // namespace\n\n"
        << "const FontRecord " << layout.record << " = {\n"
        << "    1,\n    " << layout.maxWidth << ",\n    " << layout.height << ",\n    "
        << layout.baseline << ",\n    {";
    for (size_t i = 0; i < offsets.size(); ++i) {
        out << (i % 12 == 0 ? "\n        " : " ") << offsets[i] << ",";
    }
    out << "\n    },\n    " << layout.data << ",\n};\n";
    return out.str();
}

// All three fonts, every glyph on a grid, magnified, for a look by eye.
void WritePreview(const std::string& path, const std::vector<std::vector<Cell>>& fonts) {
    constexpr int kScale = 4;
    constexpr int kPerLine = 16;
    pngio::RgbImage image;
    image.width = (kPerLine * 16 + 8) * kScale;
    int lines = 0;
    for (const auto& cells : fonts) {
        lines += (static_cast<int>(cells.size()) + kPerLine - 1) / kPerLine;
    }
    image.height = (lines * 16 + 8 * static_cast<int>(fonts.size())) * kScale;
    image.pixels.assign(static_cast<size_t>(image.width) * image.height, 0xFFFFFF);
    int top = 4;
    for (const auto& cells : fonts) {
        for (size_t index = 0; index < cells.size(); ++index) {
            const Cell& cell = cells[index];
            const int left = 4 + static_cast<int>(index % kPerLine) * 16;
            const int cellTop = top + static_cast<int>(index / kPerLine) * 16;
            for (int y = 0; y < cell.height; ++y) {
                for (int x = 0; x < cell.width; ++x) {
                    const uint32_t color = cell.at(x, y) ? 0x000000u : 0xDDE8FFu;
                    for (int dy = 0; dy < kScale; ++dy) {
                        for (int dx = 0; dx < kScale; ++dx) {
                            image.at((left + x) * kScale + dx, (cellTop + y) * kScale + dy) = color;
                        }
                    }
                }
            }
        }
        top += ((static_cast<int>(cells.size()) + kPerLine - 1) / kPerLine) * 16 + 8;
    }
    std::string error;
    if (!pngio::Write(path, image, error)) {
        std::fprintf(stderr, "fontgen: %s\n", error.c_str());
        std::exit(1);
    }
}

constexpr const char* kUsage =
    "usage: fontgen --regular FILE --bold FILE --out-dir DIR [--preview PNG]\n"
    "       fontgen --probe FILE\n"
    "  Renders the panel's three fonts from two scalable faces and writes their C++ sources\n"
    "  into DIR (which must exist); --preview also draws every glyph into a PNG.\n"
    "  --probe prints the heights of 'H', 'x' and 'p' over a range of sizes, for choosing a\n"
    "  font's size.\n";

// Rows of 'H', 'x' and 'p' at a range of sizes, to choose pixelsPerEm.
void Probe(const std::string& face) {
    Renderer renderer(face, false);
    for (double size = 10.0; size <= 18.0; size += 0.25) {
        const Ink capital = renderer.Render('H', size, 1.0);
        const Ink small = renderer.Render('x', size, 1.0);
        const Ink descender = renderer.Render('p', size, 1.0);
        std::printf("%5.2f: H %d (top %d, stem %d px), x %d, p below %d\n", size, capital.height,
                    capital.top, StemWidth(capital), small.height, descender.height - descender.top);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = gensource::CommandLine(argc, argv);
    std::string regular, bold, outDir, preview, probe;
    cli::Parser parser("fontgen", kUsage);
    parser.text("--regular", regular)
        .text("--bold", bold)
        .text("--out-dir", outDir)
        .text("--preview", preview)
        .text("--probe", probe);
    if (const std::optional<int> stop = parser.parse(argc, argv)) {
        return *stop;
    }
    if (!probe.empty()) {
        if (parser.given("--regular") || parser.given("--bold") || parser.given("--out-dir") ||
            parser.given("--preview")) {
            return parser.fail("--probe takes no other option");
        }
        Probe(probe);
        return 0;
    }
    for (const char* needed : {"--regular", "--bold", "--out-dir"}) {
        if (!parser.given(needed)) {
            return parser.fail(std::string("missing ") + needed);
        }
    }
    if (!std::filesystem::is_directory(outDir)) {
        return parser.fail("--out-dir " + outDir + " is not a folder");
    }
    Renderer regularFace(regular, false);
    Renderer boldFace(bold, true);
    std::vector<std::vector<Cell>> all;
    for (const FontLayout& layout : kFonts) {
        Renderer& renderer = layout.bold ? boldFace : regularFace;
        std::vector<Cell> cells;
        for (int code = 32; code <= 126; ++code) {
            cells.push_back(FitGlyph(renderer, layout, code));
        }
        const Ink capital = renderer.Render('H', layout.pixelsPerEm, 1.0);
        if (capital.height != layout.capitalRows || capital.top != layout.capitalRows) {
            std::fprintf(stderr, "fontgen: %s: capitals take %d rows up to %d, want %d\n",
                         layout.record, capital.height, capital.top, layout.capitalRows);
            return 1;
        }
        const std::string path = outDir + "/" + layout.source;
        std::ofstream file(path, std::ios::binary);
        file << FontSource(layout, renderer.Name(), cells, command);
        if (!file) {
            std::fprintf(stderr, "fontgen: cannot write %s\n", path.c_str());
            return 1;
        }
        all.push_back(std::move(cells));
    }
    if (!preview.empty()) {
        WritePreview(preview, all);
    }
    return 0;
}
