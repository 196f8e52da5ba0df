// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Surface.h"

#include "LabelFont.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace corvane {

namespace {
// Distinct surfaces never overlap; saying so lets the compiler vectorise the row.
void OrRow(Colour* __restrict dst, const Colour* __restrict src, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        dst[i] |= src[i];
    }
}
} // namespace

Surface::Surface(std::int32_t width, std::int32_t height)
    : W(std::max(width, 0)), H(std::max(height, 0)),
      Pixels(static_cast<std::size_t>(W) * static_cast<std::size_t>(H), Rgb(0, 0, 0)) {
    if (W == 0 || H == 0) {
        W = 0;
        H = 0;
    }
}

Colour Surface::Pixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= W || y >= H) {
        return 0;
    }
    return Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(W) +
                  static_cast<std::size_t>(x)];
}

std::span<const Colour> Surface::Row(std::int32_t y) const {
    if (y < 0 || y >= H) {
        return {};
    }
    return std::span<const Colour>(Pixels).subspan(
        static_cast<std::size_t>(y) * static_cast<std::size_t>(W), static_cast<std::size_t>(W));
}

std::span<Colour> Surface::WritableRow(std::int32_t y) {
    if (y < 0 || y >= H) {
        return {};
    }
    ++Version_;
    return std::span<Colour>(Pixels).subspan(
        static_cast<std::size_t>(y) * static_cast<std::size_t>(W), static_cast<std::size_t>(W));
}

Surface& Surface::operator=(Surface&& other) noexcept {
    W = other.W;
    H = other.H;
    Pixels = std::move(other.Pixels);
    Version_ = std::max(Version_, other.Version_) + 1;
    other.W = other.H = 0;
    return *this;
}

void Surface::Fill(Colour colour) {
    ++Version_;
    std::fill(Pixels.begin(), Pixels.end(), colour);
}

void Surface::FillArea(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       Colour colour, RasterOp op) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, W);
    bottom = std::min(bottom, H);
    if (left >= right || top >= bottom) {
        return;
    }
    for (std::int32_t y = top; y < bottom; ++y) {
        Colour* row = Pixels.data() + static_cast<std::ptrdiff_t>(y) * W;
        if (op == RasterOp::Copy) {
            std::fill(row + left, row + right, colour);
        } else {
            for (std::int32_t x = left; x < right; ++x) {
                row[x] |= colour;
            }
        }
    }
}

void Surface::Rectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                        std::int32_t bottom, const Pen& pen, Colour brush, RasterOp op) {
    ++Version_;
    if (left > right) {
        std::swap(left, right);
    }
    if (top > bottom) {
        std::swap(top, bottom);
    }
    if (left == right || top == bottom) {
        return;
    }
    const std::int32_t border = std::max(pen.Width, 1);
    // The outline as four bands, so that ORing touches each pixel once. The interior is empty
    // when the area is no wider or higher than two borders.
    const std::int32_t innerTop = std::min(top + border, bottom);
    const std::int32_t innerBottom = std::max(bottom - border, innerTop);
    FillArea(left, top, right, innerTop, pen.Ink, op);
    FillArea(left, innerBottom, right, bottom, pen.Ink, op);
    const std::int32_t innerLeft = std::min(left + border, right);
    const std::int32_t innerRight = std::max(right - border, innerLeft);
    FillArea(left, innerTop, innerLeft, innerBottom, pen.Ink, op);
    FillArea(innerRight, innerTop, right, innerBottom, pen.Ink, op);
    FillArea(innerLeft, innerTop, innerRight, innerBottom, brush, op);
}

template <typename Put>
void Surface::Plot(std::int32_t x, std::int32_t y, std::int32_t size, Put put) {
    for (std::int32_t dy = 0; dy < size; ++dy) {
        const std::int32_t py = y + dy;
        if (py < 0 || py >= H) {
            continue;
        }
        for (std::int32_t dx = 0; dx < size; ++dx) {
            const std::int32_t px = x + dx;
            if (px >= 0 && px < W) {
                put(static_cast<std::size_t>(py) * static_cast<std::size_t>(W) +
                    static_cast<std::size_t>(px));
            }
        }
    }
}

void Surface::Line(Point from, Point to, const Pen& pen) {
    ++Version_;
    Colour* pixels = Pixels.data();
    const Colour ink = pen.Ink;
    DrawLine(from, to, pen, [pixels, ink](std::size_t at) { pixels[at] = ink; });
}

template <typename Put> void Surface::DrawLine(Point from, Point to, const Pen& pen, Put put) {
    if (IsNull()) {
        return;
    }
    if (pen.Width <= 1 && Inside(from) && Inside(to)) {
        InsideLine(from, to, put);
        return;
    }
    // Step along the major axis; step k (0 <= k < length, the end point excluded) lies at
    // minor = start + sign * floor((2 k d + length) / (2 length)), the minor offset rounded half
    // up. The closed form lets the major range be clipped to the surface before the loop, so a
    // segment reaching far outside costs no more than one across the surface.
    const std::int64_t dx = std::int64_t{to.X} - from.X;
    const std::int64_t dy = std::int64_t{to.Y} - from.Y;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const std::int64_t length = xMajor ? std::llabs(dx) : std::llabs(dy);
    if (length == 0) {
        return;
    }
    const std::int64_t minorDelta = xMajor ? std::llabs(dy) : std::llabs(dx);
    const std::int64_t majorStart = xMajor ? from.X : from.Y;
    const std::int64_t minorStart = xMajor ? from.Y : from.X;
    const std::int64_t majorSign = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const std::int64_t minorSign = (xMajor ? dy : dx) >= 0 ? 1 : -1;
    const std::int64_t majorSize = xMajor ? W : H;
    const std::int64_t margin = std::max(pen.Width, 1) - 1; // a wide pen reaches back this far

    // Steps whose major coordinate lies in [-margin, majorSize).
    std::int64_t kFirst = 0;
    std::int64_t kEnd = length;
    if (majorSign > 0) {
        kFirst = std::max(kFirst, -margin - majorStart);
        kEnd = std::min(kEnd, majorSize - majorStart);
    } else {
        kFirst = std::max(kFirst, majorStart - (majorSize - 1));
        kEnd = std::min(kEnd, majorStart + margin + 1);
    }
    if (kFirst >= kEnd) {
        return;
    }
    // The closed form once at the first step, then the usual error term: each step adds 2 d to
    // the remainder and moves the minor coordinate once it reaches 2 length. Coordinates anywhere
    // in the 32-bit range need 128 bits for the product; the traces never come near that.
    const std::int64_t twoLength = 2 * length;
    std::int64_t offset = 0;
    std::int64_t remainder = 0;
    if (kFirst < (std::int64_t{1} << 30) && minorDelta < (std::int64_t{1} << 31)) {
        const std::int64_t first = 2 * kFirst * minorDelta + length;
        offset = first / twoLength;
        remainder = first % twoLength;
    } else {
        const __int128 first = static_cast<__int128>(2 * kFirst) * minorDelta + length;
        offset = static_cast<std::int64_t>(first / twoLength);
        remainder = static_cast<std::int64_t>(first % twoLength);
    }
    // Walk the steps with the coordinates kept as they go: x and y at step k.
    const std::int64_t major0 = majorStart + majorSign * kFirst;
    const std::int64_t minor0 = minorStart + minorSign * offset;
    std::int64_t x = xMajor ? major0 : minor0;
    std::int64_t y = xMajor ? minor0 : major0;
    const std::int64_t stepX = xMajor ? majorSign : 0;
    const std::int64_t stepY = xMajor ? 0 : majorSign;
    const std::int64_t minorX = xMajor ? 0 : minorSign;
    const std::int64_t minorY = xMajor ? minorSign : 0;
    const std::int64_t twoDelta = 2 * minorDelta;
    for (std::int64_t k = kFirst; k < kEnd; ++k) {
        if (y >= -margin && y < H && x >= -margin && x < W) {
            if (margin == 0) { // the traces' 1-pixel pen: one pixel, already inside
                put(static_cast<std::size_t>(y * W + x));
            } else {
                Plot(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), pen.Width, put);
            }
        }
        x += stepX;
        y += stepY;
        remainder += twoDelta;
        if (remainder >= twoLength) {
            remainder -= twoLength;
            x += minorX;
            y += minorY;
        }
    }
}

// The traces' case, a thousand short segments per block: with both ends on the surface every
// step is too, so the walk needs no clipping, no wide arithmetic and no checks per pixel. The
// steps are those of the general walk above.
template <typename Put> void Surface::InsideLine(Point from, Point to, Put put) {
    const std::int32_t dx = to.X - from.X;
    const std::int32_t dy = to.Y - from.Y;
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const std::int32_t length = xMajor ? std::abs(dx) : std::abs(dy);
    const std::int32_t twoDelta = 2 * (xMajor ? std::abs(dy) : std::abs(dx));
    const std::int32_t twoLength = 2 * length;
    const std::ptrdiff_t row = W;
    const std::ptrdiff_t majorStep = xMajor ? (dx > 0 ? 1 : -1) : (dy > 0 ? row : -row);
    const std::ptrdiff_t minorStep = xMajor ? (dy >= 0 ? row : -row) : (dx >= 0 ? 1 : -1);
    std::ptrdiff_t at = from.Y * row + from.X;
    std::int32_t remainder = length;
    for (std::int32_t k = 0; k < length; ++k) {
        put(static_cast<std::size_t>(at));
        at += majorStep;
        remainder += twoDelta;
        if (remainder >= twoLength) {
            remainder -= twoLength;
            at += minorStep;
        }
    }
}

void Surface::Polyline(std::span<const Point> points, const Pen& pen) {
    ++Version_;
    Colour* pixels = Pixels.data();
    const Colour ink = pen.Ink;
    for (std::size_t i = 1; i < points.size(); ++i) {
        DrawLine(points[i - 1], points[i], pen,
                 [pixels, ink](std::size_t at) { pixels[at] = ink; });
    }
}

void Surface::Polyline(std::span<const Point> points, const Pen& pen, PixelLog& log) {
    ++Version_;
    Colour* pixels = Pixels.data();
    const Colour ink = pen.Ink;
    // Kept in locals while drawing so that the walk keeps them in registers.
    std::uint32_t* const first = log.Indices.data();
    std::uint32_t* next = first + log.Count;
    // Indices of a surface past 2^32 pixels would not fit: such a log is never complete.
    std::uint32_t* const end = Pixels.size() <= UINT32_MAX ? first + log.Indices.size() : next;
    bool complete = log.Complete;
    for (std::size_t i = 1; i < points.size(); ++i) {
        DrawLine(points[i - 1], points[i], pen, [&](std::size_t at) {
            pixels[at] = ink;
            if (next != end) {
                *next++ = static_cast<std::uint32_t>(at);
            } else {
                complete = false;
            }
        });
    }
    log.Count = static_cast<std::size_t>(next - first);
    log.Complete = complete;
}

void Surface::Text(std::int32_t x, std::int32_t y, std::string_view chars, const LabelFont& font,
                   Colour text, Colour background) {
    ++Version_;
    for (const char c : chars) {
        const std::int32_t advance = font.Advance(c);
        FillArea(x, y, x + advance, y + LabelFont::CellHeight, background);
        for (std::int32_t row = 0; row < LabelFont::CellHeight; ++row) {
            const std::int32_t py = y + row;
            if (py < 0 || py >= H) {
                continue;
            }
            const std::uint16_t ink = font.Ink(c, row);
            for (std::int32_t col = 0; col < advance; ++col) {
                const std::int32_t px = x + col;
                if ((ink >> col & 1u) != 0 && px >= 0 && px < W) {
                    Pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(W) +
                           static_cast<std::size_t>(px)] = text;
                }
            }
        }
        x += advance;
    }
}

void Surface::Blit(const Surface& source, RasterOp op, Point at) {
    ++Version_;
    const std::int32_t left = std::max(at.X, 0);
    const std::int32_t top = std::max(at.Y, 0);
    const std::int32_t right = std::min(W, at.X + source.W);
    const std::int32_t bottom = std::min(H, at.Y + source.H);
    if (left >= right || top >= bottom) {
        return;
    }
    const auto count = static_cast<std::size_t>(right - left);
    for (std::int32_t y = top; y < bottom; ++y) {
        Colour* dst = Pixels.data() + static_cast<std::ptrdiff_t>(y) * W + left;
        const Colour* src =
            source.Pixels.data() + static_cast<std::ptrdiff_t>(y - at.Y) * source.W + (left - at.X);
        if (op == RasterOp::Copy) {
            std::memcpy(dst, src, count * sizeof(Colour));
        } else {
            OrRow(dst, src, count);
        }
    }
}

void Surface::CopyPixels(const Surface& source, const PixelLog& log) {
    ++Version_;
    if (source.W != W || source.H != H) {
        return;
    }
    const std::size_t count = Pixels.size();
    for (const std::uint32_t at : log.Written()) {
        if (at < count) {
            Pixels[at] = source.Pixels[at];
        }
    }
}

QImage Surface::ToImage() const {
    QImage image;
    CopyInto(image);
    return image;
}

void Surface::CopyInto(QImage& image) const {
    if (image.width() != W || image.height() != H || image.format() != QImage::Format_RGB32) {
        image = QImage(W, H, QImage::Format_RGB32);
    }
    for (std::int32_t y = 0; y < H; ++y) {
        std::memcpy(image.scanLine(y), Pixels.data() + static_cast<std::ptrdiff_t>(y) * W,
                    static_cast<std::size_t>(W) * sizeof(Colour));
    }
}

bool Surface::SavePng(const QString& path) const {
    return ToImage().save(path, "PNG");
}

} // namespace corvane
