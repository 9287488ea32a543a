#include <windows.h>

#include "app/installer_app.h"
#include "platform/system_version_dll.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    RestrictDllSearchToSystem();
    InstallerApp app;
    return app.Run(hInstance);
}
