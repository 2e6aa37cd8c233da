// quorvex-show: builds, inspects and unpacks show files.

#include "clock_command.h"
#include "extract.h"
#include "install_set.h"
#include "platform/files.h"
#include "show_build.h"
#include "show_info.h"
#include "style_list.h"
#include "tool_error.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace qv::tool {
namespace {

using Args = std::vector<std::string>;

std::vector<uint8_t> ReadBytes(const std::string& path) {
    // By the file's size, and only a regular file: a FIFO or /dev/zero is refused. Offsets
    // in a show file are int32, so nothing larger is a show.
    WholeFile file = ReadRegularFile(path, 0x7FFFFFFF);
    if (file.Status == WholeFile::NotRegular || file.Status == WholeFile::TooLarge) {
        throw IoError(
            "cannot read '" + path + "': " +
            (file.Status == WholeFile::TooLarge ? "larger than 2 GiB" : "not a regular file"));
    }
    if (file.Status != WholeFile::Ok) {
        throw IoError("cannot read '" + path + "'");
    }
    return {file.Bytes.begin(), file.Bytes.end()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw IoError("cannot write '" + path + "'");
    }
}

// Splits arguments into positional ones and the value of "-o".
struct Parsed {
    Args Positional;
    std::string Output;
    std::vector<std::string> Flags;
};

Parsed Parse(const Args& args, const char* command) {
    Parsed p;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o") {
            if (i + 1 >= args.size()) {
                throw ToolError(kExitUsage, std::string(command) + ": -o needs a file name");
            }
            p.Output = args[++i];
        } else if (args[i].rfind("--", 0) == 0) {
            p.Flags.push_back(args[i]);
        } else {
            p.Positional.push_back(args[i]);
        }
    }
    return p;
}

void OnlyFlags(const Parsed& p, std::initializer_list<const char*> allowed, const char* command) {
    for (const std::string& f : p.Flags) {
        bool ok = false;
        for (const char* a : allowed) {
            ok = ok || f == a;
        }
        if (!ok) {
            throw ToolError(kExitUsage, std::string(command) + ": unknown option " + f);
        }
    }
}

bool HasFlag(const Parsed& p, const char* flag) {
    for (const std::string& f : p.Flags) {
        if (f == flag) {
            return true;
        }
    }
    return false;
}

// build --set=DIR [--player=PATH]: a whole installation set.
int BuildSet(const Args& args) {
    Parsed p = Parse(args, "build");
    std::string setDir;
    std::string player;
    std::erase_if(p.Flags, [&](const std::string& f) {
        if (f.rfind("--set=", 0) == 0) {
            setDir = f.substr(6);
            return true;
        }
        if (f.rfind("--player=", 0) == 0) {
            player = f.substr(9);
            return true;
        }
        return false;
    });
    OnlyFlags(p, {}, "build");
    if (p.Positional.size() != 1 || !p.Output.empty() || setDir.empty()) {
        throw ToolError(kExitUsage,
                        "build: usage: quorvex-show build MANIFEST.json --set=DIR [--player=PATH]");
    }
    const std::vector<uint8_t> text = ReadBytes(p.Positional[0]);
    nlohmann::json manifest;
    try {
        manifest = nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        throw ManifestError(p.Positional[0] + ": not valid JSON: " + e.what());
    }
    const std::filesystem::path baseDir = std::filesystem::path(p.Positional[0]).parent_path();
    const SetResult set =
        WriteInstallationSet(manifest, baseDir, setDir,
                             player.empty() ? DefaultPlayer() : std::filesystem::path(player));
    for (const std::string& w : set.Warnings) {
        std::fprintf(stderr, "quorvex-show: warning: %s\n", w.c_str());
    }
    for (const auto& file : set.Written) {
        std::cout << file.string() << "\n";
    }
    return 0;
}

int Build(const Args& args) {
    for (const std::string& a : args) {
        if (a.rfind("--set=", 0) == 0) {
            return BuildSet(args);
        }
    }
    const Parsed p = Parse(args, "build");
    OnlyFlags(p, {}, "build");
    if (p.Positional.size() != 1 || p.Output.empty()) {
        throw ToolError(kExitUsage, "build: usage: quorvex-show build MANIFEST.json -o SHOW.qdm");
    }
    const std::vector<uint8_t> text = ReadBytes(p.Positional[0]);
    nlohmann::json manifest;
    try {
        manifest = nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        throw ManifestError(p.Positional[0] + ": not valid JSON: " + e.what());
    }
    const std::filesystem::path baseDir = std::filesystem::path(p.Positional[0]).parent_path();
    const BuildResult result = BuildSetShow(manifest, baseDir);
    for (const std::string& w : result.Warnings) {
        std::fprintf(stderr, "quorvex-show: warning: %s\n", w.c_str());
    }
    WriteBytes(p.Output, result.Bytes);
    return 0;
}

int Info(const Args& args) {
    const Parsed p = Parse(args, "info");
    OnlyFlags(p, {"--json", "--manifest"}, "info");
    if (p.Positional.size() != 1 || !p.Output.empty()) {
        throw ToolError(kExitUsage,
                        "info: usage: quorvex-show info SHOW.qdm [--json | --manifest]");
    }
    const std::vector<uint8_t> bytes = ReadBytes(p.Positional[0]);
    const bool manifest = HasFlag(p, "--manifest");
    const auto info = DescribeShow(bytes, manifest ? InfoView::Manifest : InfoView::Player);
    if (manifest) {
        if (const auto problem = ManifestRoundTripProblem(info)) {
            throw IoError("info: no manifest can stand for '" + p.Positional[0] + "': " + *problem);
        }
    }
    if (manifest || HasFlag(p, "--json")) {
        std::cout << info.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        std::cout << FormatShowInfo(info);
    }
    return 0;
}

int Extract(const Args& args) {
    const Parsed p = Parse(args, "extract");
    OnlyFlags(p, {}, "extract");
    if (p.Positional.size() != 1 || p.Output.empty()) {
        throw ToolError(kExitUsage, "extract: usage: quorvex-show extract SHOW.qdm -o DIR");
    }
    const std::vector<uint8_t> bytes = ReadBytes(p.Positional[0]);
    const ExtractResult result = ExtractPictures(bytes, p.Output);
    for (const auto& file : result.Written) {
        std::cout << file.string() << "\n";
    }
    for (const std::string& problem : result.Problems) {
        std::fprintf(stderr, "quorvex-show: %s\n", problem.c_str());
    }
    return result.WriteFailed ? kExitIo : 0;
}

int Styles(const Args& args) {
    const Parsed p = Parse(args, "styles");
    OnlyFlags(p, {}, "styles");
    if (!p.Positional.empty() || !p.Output.empty()) {
        throw ToolError(kExitUsage, "styles: usage: quorvex-show styles");
    }
    std::cout << FormatStyleList();
    return 0;
}

struct Command {
    const char* Name;
    const char* Usage;
    int (*Run)(const Args& args);
};

// The subcommands; a new one is one more line here.
const Command kCommands[] = {
    {"build", "build MANIFEST.json -o SHOW.qdm   make a show file from a JSON manifest", Build},
    {"build", "build MANIFEST.json --set=DIR [--player=PATH]  an installation set", Build},
    {"info", "info SHOW.qdm [--json|--manifest]  header, parameter block and picture table", Info},
    {"extract", "extract SHOW.qdm -o DIR           every picture as pictureNN.png / logoNN.png",
     Extract},
    {"styles", "styles                            the transition ids and their parameter fields",
     Styles},
    {"clock", "clock FORMAT [--at TIME] [--locale NAME]  what a clock caption shows", ClockCommand},
};

int Usage() {
    std::fputs("usage: quorvex-show COMMAND ...\n", stderr);
    for (const Command& c : kCommands) {
        std::fprintf(stderr, "  quorvex-show %s\n", c.Usage);
    }
    return kExitUsage;
}

} // namespace
} // namespace qv::tool

int main(int argc, char** argv) {
    using namespace qv::tool;
    if (argc < 2) {
        return Usage();
    }
    const std::string name = argv[1];
    const Args args(argv + 2, argv + argc);
    for (const Command& c : kCommands) {
        if (name == c.Name) {
            try {
                return c.Run(args);
            } catch (const ToolError& e) {
                std::fprintf(stderr, "quorvex-show: %s\n", e.what());
                return e.ExitCode();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "quorvex-show: %s\n", e.what());
                return kExitIo;
            }
        }
    }
    std::fprintf(stderr, "quorvex-show: unknown command '%s'\n", name.c_str());
    return Usage();
}
