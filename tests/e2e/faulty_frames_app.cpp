// ZelLogConsole with a fault planted in its reading of frames: a frame whose text is "fault"
// throws from inside the connection's read notification, as a failed allocation would.
#include <cstring>
#include <stdexcept>

#include "net/zel_socket.h"
#include "testkit/test_port_app.h"

class CFaultyFramesApp : public CTestPortApp {
public:
    CFaultyFramesApp()
    {
        CZelSocket::SetFrameObserver([](const char* payload, size_t length) {
            if (length == 5 && std::memcmp(payload, "fault", 5) == 0)
                throw std::runtime_error("planted fault");
        });
    }
};

CFaultyFramesApp theApp;
