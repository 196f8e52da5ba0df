// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <QImage>
#include <QString>

#include <string>

namespace corvane::test {

// How two pictures differ: the share of differing pixels (1 when the sizes differ), their
// number and the first one in reading order.
struct PictureDifference {
    double Share = 0.0;
    long long Count = 0;
    int FirstX = -1;
    int FirstY = -1;
};

PictureDifference ComparePictures(const QImage& actual, const QImage& expected);

// Compares a picture with the reviewed reference picture at `reference`. Empty when at most
// `tolerance` of the pixels differ; otherwise saves the picture at `actualPath` and says how it
// differs and where it is.
std::string CheckReference(const QImage& actual, const QString& reference,
                           const QString& actualPath, double tolerance);

} // namespace corvane::test
