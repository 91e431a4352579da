// bench-probe: looks at the X server and drives its pointer for bench/run and scripts/run.
//
//     bench-probe backdrop RRGGBB              paints the root window one colour
//     bench-probe covered X Y RRGGBB TIMEOUT_MS    prints "ready", then the CLOCK_MONOTONIC time in ns once
//                                                  the pixel at (X,Y) is no longer the backdrop colour RRGGBB
//     bench-probe uncovered X Y RRGGBB TIMEOUT_MS  the same, once it shows the backdrop colour again
//     bench-probe shot FILE [X Y W H]          writes the screen (or a part) as PNG
//     bench-probe row Y                        prints the pixels of screen row Y as RRGGBB words
//     bench-probe moveto X Y                   moves the pointer there through XTEST (raw events, no warp)
//     bench-probe sweep X0 Y0 X1 Y1 SECONDS    moves back and forth between two points at 60 Hz, through XTEST
//     bench-probe click X Y W H TIMEOUT_MS     clicks button 1 through XTEST where the pointer is, then prints the ms from
//                                              the release to the first change of the screen rectangle (X,Y,W,H) and to
//                                              its last change before it held still for 500 ms
//     bench-probe chart IN OUT.png             draws a bar chart of IN's lines "label<TAB>value<TAB>unit" (no display)
//
// Exits 0 on success, 1 when a wait timed out, 2 on bad use or no display.

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <chrono>

namespace {

xcb_connection_t *c = nullptr;
xcb_screen_t *screen = nullptr;

long long nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// The screen's pixels in a rectangle; a null image when the server refused.
QImage grab(int x, int y, int w, int h)
{
    xcb_get_image_cookie_t cookie
        = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, int16_t(x), int16_t(y), uint16_t(w), uint16_t(h), ~0u);
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(xcb_get_image_reply(c, cookie, nullptr), &std::free);
    if (!reply || reply->depth != 24)
        return {};
    const int length = xcb_get_image_data_length(reply.get());
    if (length < w * h * 4)
        return {};
    QImage image(xcb_get_image_data(reply.get()), w, h, w * 4, QImage::Format_RGB32);
    return image.copy();
}

// Whether the pixel at (x, y) shows `backdrop` (within a little, for dithering).
bool showsBackdrop(int x, int y, QRgb backdrop)
{
    const QImage one = grab(x, y, 1, 1);
    if (one.isNull())
        return false;
    const QRgb p = one.pixel(0, 0);
    return std::abs(qRed(p) - qRed(backdrop)) + std::abs(qGreen(p) - qGreen(backdrop))
               + std::abs(qBlue(p) - qBlue(backdrop))
           <= 6;
}

void button(uint8_t type)
{
    xcb_test_fake_input(c, type, 1, XCB_CURRENT_TIME, screen->root, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void motion(int x, int y)
{
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen->root, int16_t(x), int16_t(y), 0);
    xcb_flush(c);
}

int usage()
{
    std::fprintf(stderr, "bench-probe: bad use; see the head of bench/probe.cpp\n");
    return 2;
}

// Horizontal bars, one per line of `in`, scaled to the largest value, with label and value beside.
int chart(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QFile in(QString::fromLocal8Bit(argv[2]));
    if (!in.open(QIODevice::ReadOnly))
        return 2;
    struct Bar { QString label; double value; QString unit; };
    QList<Bar> bars;
    double top = 0;
    for (const QByteArray &line : in.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split('\t');
        if (parts.size() < 3)
            continue;
        bars.append({QString::fromUtf8(parts[0]), parts[1].toDouble(), QString::fromUtf8(parts[2])});
        top = std::max(top, bars.last().value);
    }
    const int rowHeight = 22, labelWidth = 260, barWidth = 330, width = labelWidth + barWidth + 130;
    QImage image(width, int(bars.size()) * rowHeight + 16, QImage::Format_RGB32);
    image.fill(QColor(0xfa, 0xfa, 0xfa));
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    for (int i = 0; i < bars.size(); ++i) {
        const int y = 8 + i * rowHeight;
        const Bar &bar = bars[i];
        painter.setPen(QColor(0x20, 0x20, 0x20));
        painter.drawText(QRect(6, y, labelWidth - 12, rowHeight), Qt::AlignVCenter | Qt::AlignRight, bar.label);
        const int length = top > 0 ? int(std::lround(bar.value / top * barWidth)) : 0;
        const bool ours = bar.label.startsWith(QLatin1String("program"));
        painter.fillRect(QRect(labelWidth, y + 4, std::max(1, length), rowHeight - 8),
                         ours ? QColor(0x2f, 0x6f, 0xc0) : QColor(0x9a, 0x9a, 0x9a));
        painter.drawText(QRect(labelWidth + length + 6, y, 124, rowHeight), Qt::AlignVCenter,
                         QString::number(bar.value, 'f', 1) + QLatin1Char(' ') + bar.unit);
    }
    painter.end();
    return image.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    if (std::string(argv[1]) == "chart")
        return argc == 4 ? chart(argc, argv) : usage();
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "bench-probe: no X display\n");
        return 2;
    }
    screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const std::string verb = argv[1];
    const auto arg = [&](int i) { return i < argc ? std::atoi(argv[i]) : 0; };

    if (verb == "backdrop" && argc == 3) {
        const uint32_t pixel = uint32_t(std::strtoul(argv[2], nullptr, 16));
        xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        return 0;
    }
    if ((verb == "covered" || verb == "uncovered") && argc == 6) {
        const bool wantBackdrop = verb == "uncovered";
        const int x = arg(2), y = arg(3);
        const QRgb backdrop = QRgb(std::strtoul(argv[4], nullptr, 16));
        const long long deadline = nowNs() + arg(5) * 1000000LL;
        std::printf("ready\n");
        std::fflush(stdout);
        while (nowNs() < deadline) {
            if (showsBackdrop(x, y, backdrop) == wantBackdrop) {
                std::printf("%lld\n", nowNs());
                return 0;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
        return 1;
    }
    if (verb == "shot" && (argc == 3 || argc == 7)) {
        const QImage image = argc == 7 ? grab(arg(3), arg(4), arg(5), arg(6))
                                       : grab(0, 0, screen->width_in_pixels, screen->height_in_pixels);
        if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[2]), "PNG"))
            return 2;
        return 0;
    }
    if (verb == "row" && argc == 3) {
        const QImage row = grab(0, arg(2), screen->width_in_pixels, 1);
        if (row.isNull())
            return 2;
        for (int x = 0; x < row.width(); ++x)
            std::printf("%06x%c", row.pixel(x, 0) & 0xffffff, x + 1 < row.width() ? ' ' : '\n');
        return 0;
    }
    if (verb == "moveto" && argc == 4) {
        motion(arg(2), arg(3));
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        return 0;
    }
    if (verb == "sweep" && argc == 7) {
        const int x0 = arg(2), y0 = arg(3), x1 = arg(4), y1 = arg(5);
        const long long end = nowNs() + arg(6) * 1000000000LL;
        const long long step = 1000000000LL / 60;
        long long next = nowNs();
        for (int i = 0; next < end; ++i, next += step) {
            // A triangle wave over 2 s between the two points.
            const double phase = std::fmod(i / 120.0, 1.0);
            const double t = phase < 0.5 ? phase * 2 : 2 - phase * 2;
            motion(int(std::lround(x0 + (x1 - x0) * t)), int(std::lround(y0 + (y1 - y0) * t)));
            std::this_thread::sleep_for(std::chrono::nanoseconds(std::max(0LL, next + step - nowNs())));
        }
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        return 0;
    }
    if (verb == "click" && argc == 7) {
        const int x = arg(2), y = arg(3), w = arg(4), h = arg(5);
        const QImage before = grab(x, y, w, h);
        if (before.isNull())
            return 2;
        button(XCB_BUTTON_PRESS);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const long long released = nowNs();
        button(XCB_BUTTON_RELEASE);
        const long long deadline = released + arg(6) * 1000000LL;
        const long long still = 500 * 1000000LL;
        long long first = 0, last = 0;
        QImage previous = before;
        while (nowNs() < deadline) {
            const QImage now = grab(x, y, w, h);
            const long long at = nowNs();
            if (!now.isNull() && now != previous) {
                first = first ? first : at;
                last = at;
                previous = now;
            } else if (first && at - last > still) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
        if (!first)
            return 1;
        std::printf("%.1f %.1f\n", double(first - released) / 1e6, double(last - released) / 1e6);
        return 0;
    }
    return usage();
}
