// The fixture of the panel's tests: a shown photo panel 737 x 418 in a window,
// a folder for photo files, and pixel helpers.
#pragma once

#include "panel/hint_icon.h"
#include "panel/photo_panel.h"
#include "test_photos.h"

#include <QImage>
#include <QRect>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace paneltest {

inline constexpr QRgb kWhite = 0xFFFFFFFFu;

// Near black: text ink (antialiased edges included).
bool IsInk(QRgb pixel);
// The solid red the test photos are made of, after JPEG.
bool IsRed(QRgb pixel);

// The smallest rectangle holding every pixel of `area` that `match` accepts;
// null when there is none.
QRect Bounds(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& match);

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes `bytes` as `name` in the test folder; returns the full path.
    QString Write(const QString& name, const QByteArray& bytes);
    // A solid red JPEG (or PNG) of width x height whose list has `rows` rows:
    // `rows` - 1 image titles, then the file's size.
    QString Photo(const QString& name, int width, int height, int rows, const char* format = "jpeg");

    // The list rows as the panel shows them: the pixels of the list surface.
    QImage ListPixels(const QRect& area) const;
    // The viewport's inside as on screen.
    QImage ViewportPixels() const;

    std::vector<std::string> Labels() const;
    std::vector<std::string> Values() const;

    // The window the panel sits in, at (0, 0), as in the main window.
    std::unique_ptr<QWidget> host;
    viewer::PhotoPanel* panel = nullptr;
    QTemporaryDir dir;
    std::vector<QString> messageBoxes;
};

}  // namespace paneltest
