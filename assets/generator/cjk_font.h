#pragma once

#include <QFont>

// The pictures carry Chinese text, so they are drawn with Noto Sans CJK SC
// (fonts-noto-cjk); pixel sizes keep them independent of the screen's dpi.
inline QFont cjkFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}
