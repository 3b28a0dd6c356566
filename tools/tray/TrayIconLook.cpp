// Manual check, not a test: renders the window's tray icon for a few texts on the three status
// colours, at every size a tray asks for, into PNG files (each also scaled up by whole pixels)
// and one contact sheet per colour (a row per text, a column per size), for a person to look at.
//
//   latmo-tray-look [directory [text ...]]     (default: the current directory, a few texts)

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>

#include "desktop/TextTrayIcon.h"
#include "platform/linux/LinuxTrayShell.h"

namespace {

constexpr int kScale = 4;
constexpr int kGap = 8;

QImage SizeImage(int side, const uint32_t* pixels, const uint8_t* mask) {
    QImage image(side, side, QImage::Format_ARGB32);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const size_t at = static_cast<size_t>(y * side + x);
            image.setPixel(x, y, mask[at] != 0 ? 0u : 0xFF000000u | pixels[at]);
        }
    }
    return image;
}

QImage Enlarged(const QImage& image) {
    return image.scaled(image.size() * kScale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// A file name for a text: blanks shown as underscores.
std::string NameOf(std::string text) {
    for (char& c : text) {
        c = c == ' ' ? '_' : c;
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());

    // Off screen there is no tray: the icon only renders.
    TLinuxTrayShell shell;
    TTextTrayIcon icon(nullptr, shell);
    icon.Font().SetName("Arial");
    icon.Font().SetHeight(-9);
    icon.Font().SetColor(clLime);
    icon.SetBorder(true);
    icon.SetBorderColor(clGreen);
    icon.Options().SetOffsetY(1);

    std::vector<std::string> texts = {"  0", " 42",  "123", "667", "888",
                                      "999", "1000", " 2k", "60k"};
    if (argc > 2) {
        texts.assign(argv + 2, argv + argc);
    }
    const std::vector<std::pair<TColor, std::string>> colours = {
        {clBlack, "black"}, {clNavy, "navy"}, {clMaroon, "maroon"}};

    int sheetWidth = kGap;
    sheetWidth += kTrayImageSize * kScale + kGap;
    for (const int side : kTrayLargerSides) {
        sheetWidth += side * kScale + kGap;
    }
    const int rowHeight = 64 * kScale + kGap;
    for (const auto& [colour, colourName] : colours) {
        QImage sheet(sheetWidth, static_cast<int>(texts.size()) * rowHeight + kGap,
                     QImage::Format_ARGB32);
        sheet.fill(QColor(0xD0, 0xD0, 0xD0));
        QPainter painter(&sheet);
        for (size_t t = 0; t < texts.size(); ++t) {
            icon.SetText(texts[t]);
            icon.SetColor(colour);
            int x = kGap;
            ForEachTraySize(
                *icon.Icon().Handle(), [&](int side, const uint32_t* pixels, const uint8_t* mask) {
                    const QImage image = SizeImage(side, pixels, mask);
                    const QString name = QString::fromStdString(
                        "tray-" + NameOf(texts[t]) + "-" + colourName + "-" + std::to_string(side));
                    image.save(out.filePath(name + QStringLiteral(".png")));
                    painter.drawImage(QPoint(x, kGap + static_cast<int>(t) * rowHeight),
                                      Enlarged(image));
                    x += side * kScale + kGap;
                });
        }
        painter.end();
        const QString sheetPath =
            out.filePath(QString::fromStdString("tray-sheet-" + colourName + ".png"));
        sheet.save(sheetPath);
        std::printf("%s\n", sheetPath.toLocal8Bit().constData());
    }
    return 0;
}
