#pragma once
// The module's own pictures (diagrams and button pictures), drawn as SVG and built
// into the module. A picture is found by its name ("3065", "TO_DRIVESETUP") in the
// place the setup names for the module's pictures, and rendered sharp at the
// screen's pixel density.

#include <QPixmap>
#include <QSize>
#include <QString>

class CMC_Setup;
class QAbstractButton;
class QLabel;

namespace orvex {

/// Where the pictures are when the setup names no place: the module's resources.
inline constexpr const char* kBuiltInPictures = ":/orvex/pictures";

/// The path of picture `name` for `setup`.
QString PicturePath(const CMC_Setup* setup, const QString& name);
/// Picture `name` rendered to fit `size` (logical pixels, aspect kept) at `dpr`
/// device pixels per logical pixel; a null pixmap when there is no such picture.
QPixmap RenderPicture(const CMC_Setup* setup, const QString& name, QSize size, qreal dpr);
/// Shows picture `name` in a picture control, filling its minimum size. False when
/// there is no such picture (the control is then left empty).
bool ShowPicture(QLabel* control, const CMC_Setup* setup, const QString& name);
/// Puts picture `name` on a button beside (or instead of) its text, at `icon` size.
bool SetButtonPicture(QAbstractButton* button, const CMC_Setup* setup, const QString& name,
                      QSize icon);

}  // namespace orvex
