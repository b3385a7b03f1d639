#include "assets/generator/tool_buttons.h"

#include "assets/generator/band_background.h"
#include "assets/generator/cjk_font.h"
#include "assets/generator/tool_icons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// The face: icon and caption on a transparent layer, so the disabled look can
// grey it as a whole.
QImage toolFace(ToolIcon icon, const QString& caption) {
    QImage face(kToolButtonWidth, kToolButtonHeight, QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    QPainter painter(&face);
    painter.setRenderHint(QPainter::Antialiasing);

    const QColor ink = Qt::white;
    if (icon == ToolIcon::Landscape) paintLandscapeIcon(painter, QRectF(22, 12, 38, 30), ink);
    else paintFloppyIcon(painter, QRectF(26, 11, 30, 31), ink);

    const QFont font = cjkFont(13, QFont::Medium);
    QPainterPath text;
    text.addText(0, 0, font, caption);
    const QRectF bounds = text.boundingRect();
    text.translate((kToolButtonWidth - bounds.width()) / 2.0 - bounds.left(), 63);
    painter.setPen(Qt::NoPen);
    painter.fillPath(text.translated(0, 1), QColor(0, 0, 0, 60));
    painter.fillPath(text, ink);
    return face;
}

QImage greyed(const QImage& face) {
    QImage grey = face.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < grey.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(grey.scanLine(row));
        for (int column = 0; column < grey.width(); ++column) {
            const QRgb pixel = line[column];
            const int level = qGray(pixel);
            // A washed-out grey: visible, but plainly not available.
            line[column] = qRgba(level, level, level, qAlpha(pixel) * 2 / 5);
        }
    }
    return grey;
}

}  // namespace

QImage toolButtonPicture(ToolIcon icon, const QString& caption, int bandLeft, ButtonState state) {
    QImage picture = bandBackground(QRect(bandLeft, 0, kToolButtonWidth, kToolButtonHeight));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF plate =
        QRectF(0, 0, kToolButtonWidth, kToolButtonHeight).adjusted(1.5, 2.5, -1.5, -2.5);
    switch (state) {
    case ButtonState::Hot: {
        QLinearGradient glow(plate.topLeft(), plate.bottomLeft());
        glow.setColorAt(0, QColor(255, 255, 255, 60));
        glow.setColorAt(1, QColor(255, 255, 255, 25));
        painter.setPen(QPen(QColor(255, 255, 255, 90), 1));
        painter.setBrush(glow);
        painter.drawRoundedRect(plate, 4, 4);
        break;
    }
    case ButtonState::Down:
        painter.setPen(QPen(QColor(0, 0, 0, 70), 1));
        painter.setBrush(QColor(0, 0, 0, 50));
        painter.drawRoundedRect(plate, 4, 4);
        break;
    case ButtonState::Normal:
    case ButtonState::Disabled: break;
    }

    const QImage face = toolFace(icon, caption);
    if (state == ButtonState::Disabled) painter.drawImage(0, 0, greyed(face));
    else if (state == ButtonState::Down) painter.drawImage(1, 1, face);  // pressed in
    else painter.drawImage(0, 0, face);
    return picture;
}
