// Build-time tool: renders the product mark (an SVG) at the sizes of a macOS application icon and
// writes them as an .icns file with PNG entries, so that every platform can make and check the icon.
//
// Usage: tolvane-make-icns MARK.svg OUTPUT.icns
// Exit status: 0 when the icon was written, 1 when the mark could not be read or the file written,
// 2 on a usage error.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QString>
#include <QSvgRenderer>
#include <array>
#include <cstdint>
#include <cstdio>

namespace {

// One entry of the container: its four-letter type and the edge in pixels of the square it holds.
// The PNG types that macOS reads from 10.7 on, at 1x and 2x for each point size of the icon set.
struct IcnsEntry {
    const char* type;
    int pixels;
};

constexpr std::array<IcnsEntry, 10> Entries{{
    {"icp4", 16},   // 16 pt
    {"ic11", 32},   // 16 pt at 2x
    {"icp5", 32},   // 32 pt
    {"ic12", 64},   // 32 pt at 2x
    {"ic07", 128},  // 128 pt
    {"ic13", 256},  // 128 pt at 2x
    {"ic08", 256},  // 256 pt
    {"ic14", 512},  // 256 pt at 2x
    {"ic09", 512},  // 512 pt
    {"ic10", 1024}, // 512 pt at 2x
}};

constexpr int HeaderBytes = 8; // four-letter type and a big-endian length, for the file and each entry

void appendBigEndian32(QByteArray& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.append(static_cast<char>((value >> shift) & 0xffU));
    }
}

QByteArray renderPng(QSvgRenderer& mark, int pixels)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        mark.render(&painter, QRectF(0, 0, pixels, pixels));
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return {};
    }
    return png;
}

void report(const QString& text)
{
    std::fprintf(stderr, "tolvane-make-icns: %s\n", text.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        report(QStringLiteral("usage: tolvane-make-icns MARK.svg OUTPUT.icns"));
        return 2;
    }
    const QString markPath = QString::fromLocal8Bit(argv[1]);
    const QString outputPath = QString::fromLocal8Bit(argv[2]);

    QSvgRenderer mark(markPath);
    if (!mark.isValid()) {
        report(QStringLiteral("cannot read the mark %1").arg(markPath));
        return 1;
    }

    QByteArray body;
    for (const IcnsEntry& entry : Entries) {
        const QByteArray png = renderPng(mark, entry.pixels);
        if (png.isEmpty()) {
            report(QStringLiteral("cannot encode the %1-pixel image").arg(entry.pixels));
            return 1;
        }
        body.append(entry.type, 4);
        appendBigEndian32(body, static_cast<std::uint32_t>(HeaderBytes + png.size()));
        body.append(png);
    }

    QByteArray icns("icns");
    appendBigEndian32(icns, static_cast<std::uint32_t>(HeaderBytes + body.size()));
    icns.append(body);

    QSaveFile output(outputPath);
    if (!output.open(QIODevice::WriteOnly) || output.write(icns) != icns.size() || !output.commit()) {
        report(QStringLiteral("cannot write %1: %2").arg(outputPath, output.errorString()));
        return 1;
    }
    return 0;
}
