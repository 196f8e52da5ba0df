// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "ReferencePicture.h"

#include <cstdint>

namespace corvane::test {

PictureDifference ComparePictures(const QImage& actual, const QImage& expected) {
    PictureDifference d;
    if (actual.size() != expected.size()) {
        d.Share = 1.0;
        return d;
    }
    const QImage x = actual.convertToFormat(QImage::Format_RGB32);
    const QImage y = expected.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            if (p[col] != q[col]) {
                if (d.Count++ == 0) {
                    d.FirstX = col;
                    d.FirstY = row;
                }
            }
        }
    }
    d.Share = static_cast<double>(d.Count) /
              (static_cast<double>(x.width()) * static_cast<double>(x.height()));
    return d;
}

std::string CheckReference(const QImage& actual, const QString& reference,
                           const QString& actualPath, double tolerance) {
    if (actual.isNull()) {
        return "no picture was made";
    }
    const QImage expected(reference);
    if (expected.isNull()) {
        return "missing reference picture " + reference.toStdString();
    }
    const PictureDifference d = ComparePictures(actual, expected);
    if (d.Share <= tolerance) {
        return {};
    }
    actual.save(actualPath);
    return std::to_string(d.Count) + " pixels (" + std::to_string(d.Share * 100) +
           " %) differ, the first at (" + std::to_string(d.FirstX) + ", " +
           std::to_string(d.FirstY) + "); this run's picture is " + actualPath.toStdString();
}

} // namespace corvane::test
