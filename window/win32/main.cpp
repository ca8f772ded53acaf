#include "window/win32/velm.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    velmora::Velm window(instance);
    window.show(showCommand);
    return window.run();
}
