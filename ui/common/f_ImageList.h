// The toolkit's image list: frames of one size. It tells its users when its images change;
// its QObject::destroyed signal tells them it is going away.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QSize>

#include <vector>

class QPainter;

namespace vantrel {

class TImageList : public QObject {
    Q_OBJECT
public:
    TImageList(int width, int height, QObject* parent = nullptr);

    int Width() const { return width_; }
    int Height() const { return height_; }
    QSize ImageSize() const { return QSize(width_, height_); }
    int Count() const { return static_cast<int>(images_.size()); }

    // Images of another size are scaled to the list's size. Returns the new index.
    int Add(const QPixmap& image);
    void Replace(int index, const QPixmap& image);
    void Clear();
    void SetSize(int width, int height);  // drops the images
    QPixmap Image(int index) const;       // null outside the list

    // Draws image index with its alpha at (x, y); an index outside the list draws nothing.
    void Draw(QPainter& painter, int x, int y, int index) const;

signals:
    void Changed();

private:
    QPixmap fitted(const QPixmap& image) const;

    int width_;
    int height_;
    std::vector<QPixmap> images_;
};

}  // namespace vantrel
