#include <windows.h>

#include "app/installer_app.h"
#include "platform/system_version_dll.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR commandLine, int) {
    RestrictDllSearchToSystem();
    InstallerApp app(commandLine ? commandLine : "");
    return app.Run(hInstance);
}
