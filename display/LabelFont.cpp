// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "LabelFont.h"

#include <QColor>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>

namespace corvane {

namespace {
// Liberation Sans (Arial-compatible metrics) at 9 pixels puts 7-pixel capitals
// and digits on a baseline at row 7 of the 8-pixel cell; no label uses a descender.
constexpr const char* FontFamily = "Liberation Sans";
constexpr int PixelSize = 9;
constexpr int Baseline = 7;
} // namespace

LabelFont::LabelFont() {
    QFont font(QString::fromLatin1(FontFamily));
    font.setPixelSize(PixelSize);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    const QFontMetrics metrics(font);
    Family = QFontInfo(font).family().toStdString();

    QImage cell(MaxAdvance, CellHeight, QImage::Format_RGB32);
    for (int i = 0; i < Count; ++i) {
        const QChar c(static_cast<char16_t>(First + i));
        const std::int32_t advance = std::clamp(metrics.horizontalAdvance(c), 1, MaxAdvance);
        Advances[static_cast<std::size_t>(i)] = advance;

        cell.fill(Qt::black);
        {
            QPainter painter(&cell);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(0, Baseline, QString(c));
        }
        for (int row = 0; row < CellHeight; ++row) {
            std::uint16_t bits = 0;
            // Ink beyond the advance would spill into the next cell; the cell clips it.
            for (int col = 0; col < advance; ++col) {
                if (qGray(cell.pixel(col, row)) >= 128) {
                    bits = static_cast<std::uint16_t>(bits | (1u << col));
                }
            }
            Masks[static_cast<std::size_t>(i)][static_cast<std::size_t>(row)] = bits;
        }
    }
}

std::int32_t LabelFont::TextWidth(std::string_view text) const {
    std::int32_t width = 0;
    for (const char c : text) {
        width += Advance(c);
    }
    return width;
}

} // namespace corvane
