#include "ui/common/f_ImageList.h"

#include <QPainter>

namespace vantrel {

TImageList::TImageList(int width, int height, QObject* parent)
    : QObject(parent), width_(width > 0 ? width : 1), height_(height > 0 ? height : 1) {}

QPixmap TImageList::fitted(const QPixmap& image) const {
    if (image.isNull()) {
        QPixmap empty(width_, height_);
        empty.fill(Qt::transparent);
        return empty;
    }
    if (image.width() == width_ && image.height() == height_) return image;
    return image.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

int TImageList::Add(const QPixmap& image) {
    images_.push_back(fitted(image));
    emit Changed();
    return Count() - 1;
}

void TImageList::Replace(int index, const QPixmap& image) {
    if (index < 0 || index >= Count()) return;
    images_[static_cast<size_t>(index)] = fitted(image);
    emit Changed();
}

void TImageList::Clear() {
    images_.clear();
    emit Changed();
}

void TImageList::SetSize(int width, int height) {
    width_ = width > 0 ? width : 1;
    height_ = height > 0 ? height : 1;
    images_.clear();
    emit Changed();
}

QPixmap TImageList::Image(int index) const {
    if (index < 0 || index >= Count()) return QPixmap();
    return images_[static_cast<size_t>(index)];
}

void TImageList::Draw(QPainter& painter, int x, int y, int index) const {
    if (index < 0 || index >= Count()) return;
    painter.drawPixmap(x, y, images_[static_cast<size_t>(index)]);
}

}  // namespace vantrel
