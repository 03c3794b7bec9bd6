#include "widgets/SvgPicture.h"

#include "widgets/Controls.h"

#include <QPainter>

namespace utq {

SvgPicture::SvgPicture(const QString& resource, QWidget* parent)
    : QWidget(parent), resource_(resource) {}

void SvgPicture::paintEvent(QPaintEvent*) {
    const qreal scale = devicePixelRatioF();
    if (rendered_.isNull() || rendered_.size() != size() * scale) {
        rendered_ =
            controls::renderSvg(resource_, qRound(width() * scale), qRound(height() * scale));
        rendered_.setDevicePixelRatio(scale);
    }
    QPainter(this).drawPixmap(0, 0, rendered_);
}

} // namespace utq
