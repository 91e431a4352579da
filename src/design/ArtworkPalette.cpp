#include "ArtworkPalette.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace tavrenhold::ArtworkPalette {

namespace {

// The first picture of the bytes, in sRGB when it carries another colour space. The orientation tag
// is not applied: it would only move pixels around.
std::optional<QImage> decode(const QByteArray &data)
{
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    QImage picture = reader.read();
    if (picture.isNull())
        return std::nullopt;
    const QColorSpace space = picture.colorSpace();
    if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
        picture = picture.convertToFormat(picture.depth() > 32 ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
        picture.convertToColorSpace(QColorSpace::SRgb);
    }
    return picture;
}

// The picture drawn scaled into an n x n bitmap that starts out all zero, as n * n * 4 bytes
// R, G, B, A with premultiplied colour.
std::optional<QByteArray> downsample(const QImage &picture, int n)
{
    QImage bitmap(n, n, QImage::Format_RGBA8888_Premultiplied);
    if (bitmap.isNull())
        return std::nullopt;
    bitmap.fill(0);
    {
        QPainter painter(&bitmap);
        if (!painter.isActive())
            return std::nullopt;
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, n, n), picture);
    }
    QByteArray bytes;
    bytes.reserve(n * n * 4);
    for (int y = 0; y < n; ++y)
        bytes.append(reinterpret_cast<const char *>(bitmap.constScanLine(y)), n * 4);
    return bytes;
}

struct Bucket {
    double weight = 0;
    double r = 0;
    double g = 0;
    double b = 0;
};

} // namespace

std::optional<ArtworkAccent> accent(const QByteArray &data)
{
    const auto picture = decode(data);
    if (!picture)
        return std::nullopt;
    const auto pixels = downsample(*picture, side);
    if (!pixels)
        return std::nullopt;
    return accentOfPixels(*pixels);
}

std::optional<ArtworkAccent> accentOfPixels(QByteArrayView rgba)
{
    std::array<Bucket, 12> buckets{};
    double sumR = 0, sumG = 0, sumB = 0;
    int count = 0;

    const auto *bytes = reinterpret_cast<const unsigned char *>(rgba.data());
    const qsizetype pixels = rgba.size() / 4;
    for (qsizetype i = 0; i < pixels; ++i) {
        const unsigned char *p = bytes + 4 * i;
        const double r = p[0] / 255.0;
        const double g = p[1] / 255.0;
        const double b = p[2] / 255.0;
        const double a = p[3] / 255.0;
        if (!(a > 0.5))
            continue;

        // Every opaque enough pixel counts towards the plain mean, candidate or not.
        sumR += r;
        sumG += g;
        sumB += b;
        ++count;

        const double value = std::max({r, g, b});
        const double low = std::min({r, g, b});
        const double delta = value - low;
        const double saturation = value == 0 ? 0 : delta / value;
        if (!(value > 0.18 && value < 0.92 && saturation > 0.18 && delta > 0.12))
            continue;

        // Ties for the largest component go to r, then to g.
        double hue;
        if (value == r)
            hue = 60 * std::fmod((g - b) / delta, 6);
        else if (value == g)
            hue = 60 * ((b - r) / delta + 2);
        else
            hue = 60 * ((r - g) / delta + 4);
        if (hue < 0)
            hue += 360;
        const int bucket = std::min(int(hue / 360 * 12), 11);

        const double weight = (1 - 1.2 * std::abs(value - 0.55)) * saturation * saturation;
        if (weight > 0) {
            Bucket &into = buckets[bucket];
            into.weight += weight;
            into.r += r * weight;
            into.g += g * weight;
            into.b += b * weight;
        }
    }

    // Only a strictly heavier bucket replaces the best, so the lowest bucket wins a tie.
    std::size_t best = 0;
    for (std::size_t i = 1; i < buckets.size(); ++i) {
        if (buckets[i].weight > buckets[best].weight)
            best = i;
    }
    const Bucket &winner = buckets[best];
    if (winner.weight > 0.01)
        return ArtworkAccent{winner.r / winner.weight, winner.g / winner.weight, winner.b / winner.weight};
    if (count > 0)
        return ArtworkAccent{sumR / count, sumG / count, sumB / count};
    return std::nullopt;
}

} // namespace tavrenhold::ArtworkPalette
