#pragma once
// The editor's pictures: SVG files in the module's resources, drawn at the screen's
// pixel density so that they stay crisp.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace orvex {

/// The picture of the "Motor setup" button ("TO_MOTORSETUP").
inline constexpr const char* kMotorSetupPicture = ":/orvex/pictures/to_motorsetup.svg";

/// The resource path of a numbered picture ("3016" -> ":/orvex/pictures/3016.svg").
QString NumberedPicture(int id);
/// The picture drawn at `size` (logical pixels) for a device pixel ratio; a null
/// pixmap when the file is missing or not SVG.
QPixmap RenderPicture(const QString& path, QSize size, qreal device_pixel_ratio);
/// The picture's natural size (its SVG view box), empty when it cannot be read.
QSize PictureSize(const QString& path);
/// An icon holding the picture at its natural size, for one and two device pixels
/// per logical pixel.
QIcon EditorPicture(const QString& path);

}  // namespace orvex
