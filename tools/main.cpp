// quorvex-show: builds, inspects and unpacks show files.

#include "clock_command.h"
#include "extract.h"
#include "install_set.h"
#include "platform/files.h"
#include "show/show_signature.h"
#include "show_build.h"
#include "show_check.h"
#include "show_info.h"
#include "style_list.h"
#include "tool_error.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#ifndef QV_VERSION
#define QV_VERSION "0.0.0"
#endif

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

// Refuses bytes that are some other kind of file, or whose header no show can have: the
// decoded fields of a picture or a program would only mislead.
void RequireShow(const std::vector<uint8_t>& bytes, const std::string& path, const char* command) {
    if (const char* kind = ForeignFileKind(bytes)) {
        throw IoError(std::string(command) + ": '" + path + "' is not a show file: it is " + kind);
    }
    const ShowLayout layout = LocateShow(bytes);
    if (ImpossibleHeader(layout.Show, layout.HeaderCut)) {
        throw IoError(std::string(command) + ": '" + path +
                      "' is not a show file: its transition id and texts are none a show has");
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
    RequireShow(bytes, p.Positional[0], "info");
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
    RequireShow(bytes, p.Positional[0], "extract");
    const ExtractResult result = ExtractPictures(bytes, p.Output);
    for (const auto& file : result.Written) {
        std::cout << file.string() << "\n";
    }
    for (const std::string& problem : result.Problems) {
        std::fprintf(stderr, "quorvex-show: %s\n", problem.c_str());
    }
    if (result.Written.empty()) {
        std::fprintf(stderr, "quorvex-show: extract: no picture of '%s' could be read\n",
                     p.Positional[0].c_str());
        return kExitIo;
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

int Template(const Args& args) {
    const Parsed p = Parse(args, "template");
    OnlyFlags(p, {}, "template");
    if (p.Positional.empty() || !p.Output.empty()) {
        throw ToolError(kExitUsage, "template: usage: quorvex-show template ID [PICTURE...]");
    }
    int32_t id = 0;
    const std::string& text = p.Positional[0];
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    const StyleEntry* style =
        ec == std::errc() && end == text.data() + text.size() ? FindStyle(id) : nullptr;
    if (!style) {
        throw ToolError(kExitUsage, "template: '" + text +
                                        "' is no transition id (1 to 16; quorvex-show styles "
                                        "lists them)");
    }
    const Args pictures(p.Positional.begin() + 1, p.Positional.end());
    std::cout << StyleTemplate(*style, pictures).dump(2) << "\n";
    return 0;
}

struct Command {
    const char* Name;
    const char* Usage;
    int (*Run)(const Args& args);
    const char* Help = "";
};

// The subcommands; a new one is one more line here.
const Command kCommands[] = {
    {"build", "build MANIFEST.json -o SHOW.qdm   make a show file from a JSON manifest", Build,
     "Writes the show file that the manifest describes: header fields by name, the style's\n"
     "\"Parameters\", \"Pictures\" and \"Logo\" (PNG, JPEG or BMP files, relative to the\n"
     "manifest). Warns (exit 0) about every value the player will cut, ignore or refuse;\n"
     "a mistake in the manifest is an error (exit 2) that names the field. With --set=DIR\n"
     "it writes a whole installation set into DIR instead (the manifest's \"Installation\").\n"},
    {"build", "build MANIFEST.json --set=DIR [--player=PATH]  an installation set", Build,
     "Writes the setup program, the show's disks and the read-me and licence files of the\n"
     "manifest's \"Installation\" into DIR.\n"},
    {"info", "info SHOW.qdm [--json|--manifest]  header, parameter block and picture table", Info,
     "Decodes a show file the way the player reads it. --json gives the same as JSON;\n"
     "--manifest a manifest that build turns back into the same show. A file that is no\n"
     "show (a picture, an archive, a program) is named as such, with exit 1.\n"},
    {"extract", "extract SHOW.qdm -o DIR           every picture as pictureNN.png / logoNN.png",
     Extract,
     "Writes every picture of the show's table and of its logo table as PNG into DIR.\n"
     "Exit 1 when a picture cannot be written or the file holds no readable picture.\n"},
    {"check", "check SHOW.qdm                    whether the player plays it, and what it shows",
     CheckCommand,
     "Says whether the player will play the show: its style and mode, every field outside\n"
     "its limits, each picture loaded as the player loads it (with the player's error code\n"
     "when it does not load) and the messages the style would show. Exit 0 when the show\n"
     "plays, 1 when it does not.\n"},
    {"styles", "styles                            the transition ids and their parameter fields",
     Styles,
     "Lists the 16 transition ids with their style and mode, and each style's fields in\n"
     "stored order: when present, which are picture numbers, their limits and meaning.\n"},
    {"template", "template ID [PICTURE...]          a manifest to start a show of that style",
     Template,
     "Prints a manifest for the transition id with every field at a sensible value, taking\n"
     "the picture files given (or picture1.png, ... when none are given). Save it, adjust\n"
     "it and give it to build.\n"},
    {"clock", "clock FORMAT [--at TIME] [--locale NAME]  what a clock caption shows", ClockCommand,
     "Prints what a clock caption with FORMAT shows at TIME (default: now), in the locale\n"
     "NAME (default: the user's).\n"},
};

void PrintUsage(std::FILE* to) {
    std::fputs("usage: quorvex-show COMMAND ...\n", to);
    for (const Command& c : kCommands) {
        std::fprintf(to, "  quorvex-show %s\n", c.Usage);
    }
    std::fputs("  quorvex-show help COMMAND         more about one command\n"
               "  quorvex-show --version\n",
               to);
}

int Usage() {
    PrintUsage(stderr);
    return kExitUsage;
}

// help, help COMMAND, --help, -h: on standard output, exit 0.
int Help(const Args& args) {
    if (args.empty()) {
        PrintUsage(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (args[0] == c.Name) {
            std::printf("usage: quorvex-show %s\n\n%s", c.Usage, c.Help);
            return 0;
        }
    }
    std::fprintf(stderr, "quorvex-show: help: unknown command '%s'\n", args[0].c_str());
    return Usage();
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
    if (name == "--help" || name == "-h" || name == "help") {
        return Help(args);
    }
    if (name == "--version") {
        std::printf("quorvex-show %s\n", QV_VERSION);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (name == c.Name) {
            for (const std::string& a : args) {
                if (a == "--help" || a == "-h") {
                    return Help({name});
                }
            }
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
