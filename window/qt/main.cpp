#include "window/qt/program_icon.h"
#include "window/qt/velm.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    QApplication::setWindowIcon(velmora::programIcon());
    velmora::Velm window;
    window.show();
    return app.exec();
}
