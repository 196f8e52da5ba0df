// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

class QImage;
class QString;

namespace corvane {

class LabelFont;

// A pixel as 0xFFRRGGBB (alpha always opaque), the layout of QImage::Format_RGB32.
using Colour = std::uint32_t;

constexpr Colour Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

struct Point {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    bool operator==(const Point&) const = default;
};

// Solid pen. Width 1 paints the line's pixels; width 2 paints a 2 x 2 block at each of them.
struct Pen {
    Colour Ink = Rgb(0, 0, 0);
    std::int32_t Width = 1;
};

// The pixels a drawing call wrote, as indices y * width + x, for putting them back later: far
// fewer than the rows a trace crosses. Holds at most the capacity it was made with; a call that
// writes more marks the log incomplete, and then only a whole copy can undo it.
class PixelLog {
public:
    PixelLog() = default;
    explicit PixelLog(std::size_t capacity) : Indices(capacity) {}

    void Clear() {
        Count = 0;
        Complete = true;
    }
    bool IsComplete() const { return Complete; }
    std::size_t Capacity() const { return Indices.size(); }
    std::span<const std::uint32_t> Written() const { return {Indices.data(), Count}; }

private:
    friend class Surface;               // appends while it draws
    std::vector<std::uint32_t> Indices; // sized once: logging never allocates
    std::size_t Count = 0;              // entries in use
    bool Complete = true;
};

enum class RasterOp : std::uint8_t {
    Copy, // destination = source
    Or,   // destination = destination | source
};

// An off-screen drawing surface of 32-bit pixels with the drawing rules the displays are laid
// out for: lines omit their end point, rectangles exclude their right and bottom edges, text
// cells are opaque, copies may OR, and everything is clipped at the edges. A default-constructed
// surface is null (0 x 0): drawing on it does nothing.
class Surface {
public:
    Surface() = default;
    // All pixels black. Storage is allocated here and never again.
    Surface(std::int32_t width, std::int32_t height);
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    Surface(Surface&&) noexcept = default;
    // The assigned surface's version moves past both, so a box never takes it for one it showed.
    Surface& operator=(Surface&& other) noexcept;

    std::int32_t Width() const { return W; }
    std::int32_t Height() const { return H; }
    bool IsNull() const { return W == 0 || H == 0; }
    // Goes up with every drawing call: a box that showed this version need not copy it again.
    std::uint64_t Version() const { return Version_; }

    // Pixel at (x, y); 0 (not a valid colour) outside the surface.
    Colour Pixel(std::int32_t x, std::int32_t y) const;
    std::span<const Colour> Row(std::int32_t y) const;
    // Row y for writing whole rows of pixels at once (a picture made elsewhere, row by row);
    // empty outside the surface. Counts as a drawing call.
    std::span<Colour> WritableRow(std::int32_t y);

    void Fill(Colour colour);

    // Outline in the pen over the area left..right-1, top..bottom-1 (a border as thick as the pen,
    // inside the area), interior in the brush. Swapped coordinates give the same rectangle; an
    // empty area draws nothing. With RasterOp::Or the colours are ORed into the pixels.
    void Rectangle(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                   const Pen& pen, Colour brush, RasterOp op = RasterOp::Copy);
    // From `from` up to, not including, `to`.
    void Line(Point from, Point to, const Pen& pen);
    // Connected segments through the points in order; the last point is not painted.
    void Polyline(std::span<const Point> points, const Pen& pen);
    // The same, noting every pixel written in `log` (which is not cleared first).
    void Polyline(std::span<const Point> points, const Pen& pen, PixelLog& log);
    // One opaque cell per character, the first with its top-left corner at (x, y): the cell is
    // filled with `background`, the glyph's pixels painted in `text`.
    void Text(std::int32_t x, std::int32_t y, std::string_view chars, const LabelFont& font,
              Colour text, Colour background);
    // Whole-surface transfer of `source` with its top-left corner at `at`, clipped to both.
    void Blit(const Surface& source, RasterOp op = RasterOp::Copy, Point at = {});
    // The logged pixels copied from the same places of a surface of the same size (a log of
    // drawing on a surface of this size).
    void CopyPixels(const Surface& source, const PixelLog& log);

    // A copy as an image (for saving and for widgets), and PNG output for tests and tools.
    QImage ToImage() const;
    // The same into an existing image, which keeps its storage when it already has this size
    // and format (a widget showing a frame per block allocates nothing).
    void CopyInto(QImage& image) const;
    bool SavePng(const QString& path) const;

private:
    bool Inside(Point p) const { return p.X >= 0 && p.X < W && p.Y >= 0 && p.Y < H; }
    // The pixel walks of Line; `put(index)` writes one pixel.
    template <typename Put> void DrawLine(Point from, Point to, const Pen& pen, Put put);
    template <typename Put> void InsideLine(Point from, Point to, Put put);
    template <typename Put> void Plot(std::int32_t x, std::int32_t y, std::int32_t size, Put put);
    void FillArea(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                  Colour colour, RasterOp op = RasterOp::Copy);

    std::int32_t W = 0;
    std::int32_t H = 0;
    std::vector<Colour> Pixels; // W * H, row-major
    std::uint64_t Version_ = 0;
};

} // namespace corvane
