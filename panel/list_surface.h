// The list surface: one picture as tall as all the rows of the
// metadata list, moved up inside the viewport to scroll. Rows are drawn once
// per photo; scrolling only moves the widget.
//
// The pixels are kept in strips of whole rows rather than one picture: a list
// of 40,000 rows is 800,000 pixels high, 1.6 GB as a single image. Strips are
// drawn up front until a memory budget is spent, which covers every list a
// camera writes (about 1,600 rows). Only a longer list has strips that are
// drawn the first time they are shown; when the budget is spent, the strip
// shown longest ago makes room for them.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

namespace viewer {

class ListSurface : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 20;
    static constexpr int kRowsPerStrip = 50;
    static constexpr qint64 kBudgetBytes = 64LL * 1024 * 1024;

    // Draws rows firstRow .. firstRow + rowCount - 1 onto a strip already
    // filled with the background; row firstRow starts at y 0 of the strip.
    using RowPainter = std::function<void(QImage& strip, int firstRow, int rowCount)>;

    explicit ListSurface(QWidget* parent = nullptr);

    void setRowPainter(RowPainter painter) { rowPainter_ = std::move(painter); }
    void setBackground(const QColor& colour);
    QColor background() const { return background_; }

    // Drops every strip: the surface shows only its background.
    void clear();
    // Takes `rows` rows (the widget's height is left to the caller) and draws
    // the strips that fit the budget, from the top.
    void drawRows(int rows);

    int rowCount() const { return rows_; }
    // Strips drawn since the surface was created, and the bytes their pixels
    // hold now: lets tests see that scrolling draws nothing.
    int stripsDrawn() const { return stripsDrawn_; }
    qint64 bytesHeld() const { return bytesHeld_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Strip {
        QImage image;
        std::uint64_t lastShown = 0;
    };

    int stripCount() const;
    int stripRows(int index) const;
    qint64 stripBytes(int index) const;
    QSize stripPixels(int index) const;
    // Onto `pixels` when they are a strip of its size.
    bool drawStrip(int index, QImage pixels = QImage());
    // Frees strips outside first..last, oldest shown first, until `needed`
    // more bytes fit the budget.
    void makeRoom(qint64 needed, int first, int last);

    RowPainter rowPainter_;
    QColor background_ = Qt::white;
    std::vector<Strip> strips_;
    int rows_ = 0;
    int stripsDrawn_ = 0;
    qint64 bytesHeld_ = 0;
    std::uint64_t paintClock_ = 0;
};

}  // namespace viewer
