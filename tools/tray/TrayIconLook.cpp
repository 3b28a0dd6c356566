// Manual check, not a test: renders the window's tray icon for a few texts on the three status
// colours into PNG files (each also scaled up 8 times by whole pixels) and one contact sheet,
// for a person to look at.
//
//   latmo-tray-look [directory]     (default: the current directory)

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>

#include "desktop/TextTrayIcon.h"
#include "platform/linux/LinuxTrayShell.h"

namespace {

constexpr int kScale = 8;
constexpr int kGap = 8;

QImage IconImage(const TIcon& icon) {
    QImage image(kTrayImageSize, kTrayImageSize, QImage::Format_ARGB32);
    const TTrayImage& data = *icon.Handle();
    for (int y = 0; y < kTrayImageSize; ++y) {
        for (int x = 0; x < kTrayImageSize; ++x) {
            const size_t at = static_cast<size_t>(y * kTrayImageSize + x);
            image.setPixel(x, y, data.Mask[at] != 0 ? 0u : 0xFF000000u | data.Pixels[at]);
        }
    }
    return image;
}

QImage Enlarged(const QImage& image) {
    return image.scaled(image.size() * kScale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
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

    const std::vector<std::pair<std::string, std::string>> texts = {
        {"123", "123"}, {" 42", "_42"}, {"2k", "2k"}, {" 2k", "_2k"}};
    const std::vector<std::pair<TColor, std::string>> colours = {
        {clBlack, "black"}, {clNavy, "navy"}, {clMaroon, "maroon"}};

    const int cell = kTrayImageSize * kScale + kGap;
    QImage sheet(static_cast<int>(texts.size()) * cell + kGap,
                 static_cast<int>(colours.size()) * cell + kGap, QImage::Format_ARGB32);
    sheet.fill(QColor(0xD0, 0xD0, 0xD0));
    QPainter painter(&sheet);
    for (size_t t = 0; t < texts.size(); ++t) {
        for (size_t c = 0; c < colours.size(); ++c) {
            icon.SetText(texts[t].first);
            icon.SetColor(colours[c].first);
            const QImage image = IconImage(icon.Icon());
            const QString name =
                QString::fromStdString("tray-" + texts[t].second + "-" + colours[c].second);
            image.save(out.filePath(name + QStringLiteral(".png")));
            Enlarged(image).save(out.filePath(name + QStringLiteral("-x8.png")));
            painter.drawImage(
                QPoint(kGap + static_cast<int>(t) * cell, kGap + static_cast<int>(c) * cell),
                Enlarged(image));
        }
    }
    painter.end();
    const QString sheetPath = out.filePath(QStringLiteral("tray-sheet-x8.png"));
    sheet.save(sheetPath);
    std::printf("%s\n", sheetPath.toLocal8Bit().constData());
    return 0;
}
