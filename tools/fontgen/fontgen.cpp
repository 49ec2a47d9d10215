// fontgen: renders the printable ASCII glyphs of a scalable font with FreeType, fits each into
// the cell height, baseline and glyph width the panel's fonts require, and writes the
// run-length coded font sources (fontcm12.cpp, fontcm14.cpp, fontcm14b.cpp).
//
//   fontgen --regular FILE --bold FILE --out-dir DIR [--preview PNG]
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

class Renderer {
  public:
    // Regular faces are hinted for black and white, which keeps their 1-pixel stems crisp when
    // squeezed; the bold face is hinted vertically only and thresholded, which keeps its
    // stems 2 pixels wide where a glyph must be narrowed.
    Renderer(const std::string& path, bool bold)
        : loadFlags_(bold ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_MONO) {
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
        int minX = INT32_MAX, maxX = -1, minY = INT32_MAX, maxY = -1;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned column = 0; column < bitmap.width; ++column) {
                if (covered(row, column)) {
                    minX = std::min<int>(minX, column);
                    maxX = std::max<int>(maxX, column);
                    minY = std::min<int>(minY, row);
                    maxY = std::max<int>(maxY, row);
                }
            }
        }
        if (maxX < 0) {
            return ink;
        }
        ink.left = slot->bitmap_left + minX;
        ink.top = slot->bitmap_top - minY;
        ink.width = maxX - minX + 1;
        ink.height = maxY - minY + 1;
        ink.pixels.resize(static_cast<size_t>(ink.width) * ink.height);
        for (int row = 0; row < ink.height; ++row) {
            for (int column = 0; column < ink.width; ++column) {
                ink.pixels[static_cast<size_t>(row) * ink.width + column] = covered(
                    static_cast<unsigned>(minY + row), static_cast<unsigned>(minX + column));
            }
        }
        return ink;
    }

  private:
    FT_Int32 loadFlags_;
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// Fits one glyph into its cell: squeezed horizontally until its ink leaves a column of space
// on the right (cells of 2 pixels or fewer get none), placed with its own side bearings shared
// out, and sat on the baseline; ink above or below the cell is cut.
Cell FitGlyph(Renderer& renderer, const FontLayout& layout, int code) {
    const int width = layout.widths[code - 32];
    Cell cell{width, layout.height, std::vector<bool>(static_cast<size_t>(width) * layout.height)};
    if (code == ' ') {
        return cell;
    }
    // The panel's '|' is a wide horizontal dash.
    const uint32_t character = code == '|' ? kEmDash : static_cast<uint32_t>(code);
    const int room = code == '|' ? width : (width > 2 ? width - 1 : width);

    double squeeze = 1.0;
    Ink ink = renderer.Render(character, layout.pixelsPerEm, squeeze);
    while (ink.width > room && squeeze > 0.2) {
        squeeze *= 0.97;
        ink = renderer.Render(character, layout.pixelsPerEm, squeeze);
    }
    if (code == '|') {
        // Stretch the dash to the whole cell.
        while (ink.width < room && squeeze < 4.0) {
            squeeze *= 1.03;
            Ink wider = renderer.Render(character, layout.pixelsPerEm, squeeze);
            if (wider.width > room) {
                break;
            }
            ink = wider;
        }
    }
    if (ink.width == 0) {
        return cell;
    }
    // Keep the glyph's own position in its advance, shifted by half the difference to the cell.
    int x = ink.left + (width - ink.advance) / 2;
    x = std::clamp(x, 0, std::max(0, room - ink.width));
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

std::string CharName(int code) {
    if (code == '\'') {
        return "'\\''";
    }
    if (code == '\\') {
        return "'\\\\'";
    }
    return std::string("'") + static_cast<char>(code) + "'";
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
        << "    1,\n    " << layout.maxWidth << ",\n    " << layout.height << ",\n    " << layout.baseline
        << ",\n    {";
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

}  // namespace

int main(int argc, char** argv) {
    const std::string command = gensource::CommandLine(argc, argv);
    std::string regular, bold, outDir, preview;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--regular") {
            regular = argv[i + 1];
        } else if (option == "--bold") {
            bold = argv[i + 1];
        } else if (option == "--out-dir") {
            outDir = argv[i + 1];
        } else if (option == "--preview") {
            preview = argv[i + 1];
        } else if (option == "--probe") {
            // Rows of 'H', 'x' and 'p' at a range of sizes, to choose pixelsPerEm.
            Renderer renderer(argv[i + 1], false);
            for (double size = 10.0; size <= 18.0; size += 0.25) {
                const Ink capital = renderer.Render('H', size, 1.0);
                const Ink small = renderer.Render('x', size, 1.0);
                const Ink descender = renderer.Render('p', size, 1.0);
                std::printf("%5.2f: H %d (top %d, stem %d px), x %d, p below %d\n", size,
                            capital.height, capital.top, StemWidth(capital), small.height,
                            descender.height - descender.top);
            }
            return 0;
        }
    }
    if (regular.empty() || bold.empty() || outDir.empty()) {
        std::fprintf(stderr,
                     "usage: fontgen --regular FILE --bold FILE --out-dir DIR [--preview PNG]\n");
        return 2;
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
