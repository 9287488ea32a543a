#include <windows.h>

#include "app/installer_app.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    InstallerApp app;
    return app.Run(hInstance);
}
