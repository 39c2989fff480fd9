#include "editor/pictures.h"

#include <QAbstractButton>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>

#include "host/setup/setup.h"

namespace orvex {

QString PicturePath(const CMC_Setup* setup, const QString& name) {
    QString place = setup ? QString::fromStdString(setup->GetGuiModule()) : QString();
    if (place.isEmpty()) place = QString::fromLatin1(kBuiltInPictures);
    return place + QLatin1Char('/') + name + QStringLiteral(".svg");
}

QPixmap RenderPicture(const CMC_Setup* setup, const QString& name, QSize size, qreal dpr) {
    QSvgRenderer svg(PicturePath(setup, name));
    if (!svg.isValid() || size.isEmpty()) return {};
    const QSize fitted = svg.defaultSize().scaled(size, Qt::KeepAspectRatio);
    QPixmap pixmap(fitted * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    svg.render(&painter, QRectF(QPointF(0, 0), QSizeF(fitted)));
    return pixmap;
}

bool ShowPicture(QLabel* control, const CMC_Setup* setup, const QString& name) {
    const QPixmap pixmap =
        RenderPicture(setup, name, control->minimumSize(), control->devicePixelRatioF());
    if (pixmap.isNull()) return false;
    control->setPixmap(pixmap);
    return true;
}

bool SetButtonPicture(QAbstractButton* button, const CMC_Setup* setup, const QString& name,
                      QSize icon) {
    const QPixmap pixmap = RenderPicture(setup, name, icon, button->devicePixelRatioF());
    if (pixmap.isNull()) return false;
    button->setIcon(QIcon(pixmap));
    button->setIconSize(pixmap.deviceIndependentSize().toSize());
    return true;
}

}  // namespace orvex
