#include "app/hosts.h"
#include "app/startup.h"
#include "platform/error.h"

#include <cstdio>
#include <exception>

#ifndef QV_VERSION
#define QV_VERSION "0.0.0"
#endif

int main(int argc, char** argv) {
    using namespace qv;
    const char* program = argc > 0 && argv[0] ? argv[0] : "quorvex";
    try {
        HostOptions options = ParseHostOptions(argc, argv);
        if (options.Help) {
            std::fputs(HostOptionsUsage("quorvex").c_str(), stdout);
            return 0;
        }
        if (options.Version) {
            std::printf("quorvex %s\n", QV_VERSION);
            return 0;
        }
        return RunOnHost(std::move(options), RunStartup);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 1;
    }
}
