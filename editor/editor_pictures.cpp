#include "editor/editor_pictures.h"

#include <QPainter>
#include <QSvgRenderer>

namespace orvex {

QString NumberedPicture(int id) {
    return QStringLiteral(":/orvex/pictures/%1.svg").arg(id);
}

QSize PictureSize(const QString& path) {
    QSvgRenderer renderer(path);
    return renderer.isValid() ? renderer.defaultSize() : QSize();
}

QPixmap RenderPicture(const QString& path, QSize size, qreal device_pixel_ratio) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || size.isEmpty()) return {};
    QPixmap pixmap(size * device_pixel_ratio);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(device_pixel_ratio);
    return pixmap;
}

QIcon EditorPicture(const QString& path) {
    const QSize size = PictureSize(path);
    QIcon icon;
    if (size.isEmpty()) return icon;
    for (qreal ratio : {1.0, 2.0}) icon.addPixmap(RenderPicture(path, size, ratio));
    return icon;
}

}  // namespace orvex
