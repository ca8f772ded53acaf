#pragma once

#include <QIcon>
#include <QImage>

namespace velmora {

/// The program's 16 x 16 icon, drawn from the pixel data kept in icon/velmora_icon.xpm (the same pixels
/// as the installed velmora.png and the Windows resource velmora.ico).
QImage programIconImage();
QIcon programIcon();

} // namespace velmora
