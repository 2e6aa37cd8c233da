// Holds a window of a given class and caption until it is killed, as a running saver
// holds its window: the tests start it, wait for "ready", and kill it.
#include "platform/headless/headless_host.h"
#include "platform/platform.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_holder ROOT CLASS CAPTION\n");
        return 2;
    }
    qv::HostOptions o;
    o.Root = argv[1];
    o.Args = {argv[0]};
    qv::Platform os(o, qv::HeadlessHost::Create(o));
    qv::CreateWindowParams p;
    p.ClassName = argv[2];
    p.Caption = argv[3];
    p.Style = qv::WS_POPUP | qv::WS_VISIBLE;
    p.Bounds = {0, 0, 16, 16};
    if (os.User().CreateWindow(p) == 0) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}
