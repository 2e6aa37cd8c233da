#include "app/hosts.h"
#include "app/startup.h"
#include "platform/error.h"
#include "platform/gst/gst_media.h"
#include "platform/platform.h"

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
        auto host = CreateHost(options);
        Platform os(std::move(options), std::move(host));
        // A daemon ends a saver with SIGTERM: the run then ends as for the user.
        os.WatchTerminationSignals();
        // Sound is heard only where a person watches in real time; elsewhere the media
        // follow the clock, frame for frame.
        const bool audible = os.Host().Capabilities().LiveDisplay && !os.Clock().IsVirtual();
        os.Media().SetBackend(
            CreateGstMediaBackend(audible ? GstMediaOutput::Speakers : GstMediaOutput::Silent));
        nlohmann::json args = nlohmann::json::array();
        for (size_t i = 0; i <= os.ParamCount(); ++i) {
            args.push_back(os.ParamStr(i));
        }
        os.Trace().Emit("start", {{"args", args}, {"host", std::string(os.Host().Name())}});
        int code = 0;
        {
            ShowContext ctx(os);
            code = RunStartup(ctx);
        }
        os.Host().Finish();
        os.Trace().Emit("exit", {{"code", code}});
        return code;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 1;
    }
}
