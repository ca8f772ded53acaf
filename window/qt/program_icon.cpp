#include "window/qt/program_icon.h"

#include <QPixmap>

#include "window/icon/velmora_icon.xpm"

namespace velmora {

QImage programIconImage() { return QImage(velmora_icon_xpm); }

QIcon programIcon() { return QIcon(QPixmap::fromImage(programIconImage())); }

} // namespace velmora
