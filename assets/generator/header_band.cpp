#include "assets/generator/header_band.h"

#include "assets/generator/aperture_logo.h"
#include "assets/generator/band_background.h"
#include "assets/generator/cjk_font.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// The title's baseline sits on the baseline of the version label, whose top
// is at y = 40 in a 9 pt face, so "1.0" reads as the end of the title line.
constexpr int kTitleBaseline = 53;
constexpr int kTitleLeft = 84;
constexpr int kLogoSize = 54;
constexpr int kLogoLeft = 18;

}  // namespace

QImage headerBand() {
    QImage band = bandBackground(QRect(0, 0, kBandWidth, kBandHeight));
    QPainter painter(&band);
    painter.setRenderHint(QPainter::Antialiasing);

    const int logoTop = (kBandHeight - kLogoSize) / 2;
    painter.drawImage(kLogoLeft, logoTop, apertureLogo(kLogoSize, Qt::white));

    // The title is drawn as a path so that its soft shadow and its face are
    // exactly the same outline.
    QPainterPath title;
    title.addText(kTitleLeft, kTitleBaseline, cjkFont(26, QFont::Bold),
                  QStringLiteral("EXIF 信息查看器"));
    painter.setPen(Qt::NoPen);
    painter.fillPath(title.translated(0, 1.5), QColor(0, 0, 0, 70));
    painter.fillPath(title, Qt::white);

    QPainterPath subtitle;
    QFont small = cjkFont(10, QFont::Medium);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
    subtitle.addText(kTitleLeft + 1, kTitleBaseline - 29, small, QStringLiteral("PHOTO METADATA"));
    painter.fillPath(subtitle, QColor(255, 255, 255, 150));
    return band;
}
