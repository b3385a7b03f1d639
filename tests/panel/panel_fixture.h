// The fixture of the panel's tests: a shown photo panel 737 x 418 in a window,
// a folder for photo files, and pixel helpers.
#pragma once

#include "panel/hint_icon.h"
#include "panel/photo_panel.h"
#include "panel/preview_loader.h"
#include "test_photos.h"
#include "wait_until.h"

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
// The placeholder's box, where a photo's picture cannot be drawn.
inline constexpr QRgb kPlaceholderGrey = 0xFFF0F0F0u;
// Where the empty state's line saying why a file could not be opened lies:
// under the hint line, across the panel.
inline constexpr QRect kReasonLine{16, 290, 705, 24};

// Near black: text ink (antialiased edges included).
bool IsInk(QRgb pixel);
// The solid red the test photos are made of, after JPEG.
bool IsRed(QRgb pixel);

// The smallest rectangle holding every pixel of `area` that `match` accepts;
// null when there is none.
QRect Bounds(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& match);

// The decoder worker built with the tests (a test binary is not where the
// installed viewer finds its worker), or the test worker that misbehaves on
// command.
sandbox::DecoderClient::Options TestDecoder(bool misbehaving = false);

using testsupport::WaitUntil;

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Whether the panel's pictures come from the test worker, which obeys
    // commands hidden in a photo (see CommandPhoto).
    virtual bool MisbehavingWorker() const { return false; }

    // Opens `path` in the panel and waits for its preview (or placeholder,
    // or empty state) to be drawn.
    void OpenPhoto(const QString& path);
    // Waits for the photo opened last to be drawn; false when it was not in time.
    bool WaitForPreview();

    // Writes `bytes` as `name` in the test folder; returns the full path.
    QString Write(const QString& name, const QByteArray& bytes);
    // A solid red JPEG (or PNG) of width x height whose list has `rows` rows:
    // `rows` - 1 image titles, then the file's size.
    QString Photo(const QString& name, int width, int height, int rows,
                  const char* format = "jpeg");

    // A solid JPEG of width x height with `rows` list rows whose comment
    // holds a command for the test worker ("sleep 3000", "socket"...).
    QString CommandPhoto(const QString& name, const std::string& command,
                         const QColor& colour = Qt::red, int width = 64, int height = 48,
                         int rows = 6);

    // The list rows as the panel shows them: the pixels of the list surface.
    QImage ListPixels(const QRect& area) const;
    // The viewport's inside as on screen.
    QImage ViewportPixels() const;

    std::vector<std::string> Labels() const;
    std::vector<std::string> Values() const;

    // Where the panel's pictures come from; made before the panel, gone after it.
    std::unique_ptr<viewer::PreviewLoader> previews;
    // The window the panel sits in, at (0, 0), as in the main window.
    std::unique_ptr<QWidget> host;
    viewer::PhotoPanel* panel = nullptr;
    QTemporaryDir dir;
    std::vector<QString> messageBoxes;
};

}  // namespace paneltest
