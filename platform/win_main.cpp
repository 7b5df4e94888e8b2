// The program's entry point: hands control to the one application object.
#include "platform/win_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    if (!app->InitInstance())
        return 0;
    return app->Run();
}
