#include <windows.h>

#include "app/AppController.h"
#include "platform/WindowsPlatform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    WindowsPlatform platform;
    AppController controller(platform);
    platform.bind(controller);
    return controller.run();
}
