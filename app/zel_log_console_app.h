#pragma once
// The application: prepares the platform, starts the sockets library and runs the console window.
#include "platform/message_map.h"
#include "platform/win_app.h"

class CZelLogConsoleApp : public CWinApp {
public:
    CZelLogConsoleApp();
    BOOL InitInstance() override;
    bool OnCmdMsg(UINT id, UINT code) override;

protected:
    // Its own step, so that a test build can start the program as on a machine without sockets.
    virtual BOOL StartSockets();
    // Its own step, so that a test build can listen on a port of the test's choosing.
    virtual UINT ServicePort() const;

private:
    static const MessageEntry<CWinApp> kCommands[];
};
