#include "show_check.h"

#include "media/sound.h"
#include "media/video.h"
#include "platform/headless/headless_host.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "raster/engine.h"
#include "show/show_signature.h"
#include "show_info.h"
#include "tool_error.h"
#include "transitions/frame.h"

#include <cstdio>
#include <iostream>
#include <set>
#include <sstream>
#include <unistd.h>

namespace qv::tool {
namespace {

// The pictures a style loads: every picture number of its block that is not "none".
std::set<int32_t> PicturesOfBlock(const ParamBlock& block) {
    std::set<int32_t> numbers;
    for (const ParamValue& v : block.Values()) {
        if (v.Field->Meaning != ParamMeaning::Picture) {
            continue;
        }
        if (v.Field->Kind == ParamKind::Int && v.Int >= 0) {
            numbers.insert(v.Int);
        }
        for (const int32_t n : v.List) {
            numbers.insert(n);
        }
    }
    return numbers;
}

struct Loaded {
    bool Ok = false;
    std::string Code; // the raster engine's two-letter code on failure
    int32_t Width = 0;
    int32_t Height = 0;
};

// Loads picture n of the table at tableOffset through the raster engine, as a style does.
class EngineProbe {
public:
    EngineProbe(const std::filesystem::path& show, const std::filesystem::path& root)
        : m_os(Options(root), HeadlessHost::Create(Options(root))), m_ctx(m_os) {
        m_file = m_os.Files().CreateFile(PathMap::ToWindows(std::filesystem::absolute(show)),
                                         FileAccess::Read, FileCreation::OpenExisting);
        m_ctx.Engine.EngineErrorHandler = [this](std::string_view code) {
            if (m_code.empty()) {
                m_code = code;
            }
        };
    }
    ~EngineProbe() {
        FreePictures(m_ctx);
        if (m_file != INVALID_FILE) {
            m_os.Files().CloseHandle(m_file);
        }
    }

    // Whether a media file the show names is there, looked for as the player looks for it
    // when the show is started from its own folder.
    bool MediaThere(const ShowRecord& show, const std::filesystem::path& showFile,
                    const std::string& name) {
        ShowRecord beside = show;
        beside.ShowDir = PathMap::ToWindows(std::filesystem::absolute(showFile).parent_path());
        if (!beside.ShowDir.ends_with("\\")) {
            beside.ShowDir += "\\";
        }
        const HFILE f = m_os.Files().CreateFile(ResolveMediaPath(beside, name), FileAccess::Read,
                                                FileCreation::OpenExisting);
        if (f == INVALID_FILE) {
            return false;
        }
        m_os.Files().CloseHandle(f);
        return true;
    }

    Loaded Load(size_t tableOffset, int32_t n) {
        Loaded result;
        if (m_file == INVALID_FILE) {
            result.Code = "LB";
            return result;
        }
        FreePictures(m_ctx);
        m_ctx.Engine.EngineFailed = false;
        m_code.clear();
        m_os.Files().SetFilePointer(m_file, static_cast<int64_t>(tableOffset), SeekFrom::Begin);
        OpenPictureTable(m_ctx, m_file);
        LoadPicture(m_ctx, n);
        if (const PictureSlot* slot = FindPicture(m_ctx.Engine, 0);
            slot && !m_ctx.Engine.EngineFailed) {
            result.Ok = true;
            result.Width = slot->Header.bmiHeader.biWidth;
            result.Height = slot->Header.bmiHeader.biHeight;
        } else {
            result.Code = m_code.empty() ? "LB" : m_code;
        }
        return result;
    }

private:
    static HostOptions Options(const std::filesystem::path& root) {
        const std::string rootOption = "--root=" + root.string();
        const char* argv[] = {"quorvex-show", "--display=headless", rootOption.c_str()};
        return ParseHostOptions(3, argv);
    }

    Platform m_os;
    EngineContext m_ctx;
    HFILE m_file = INVALID_FILE;
    std::string m_code;
};

// A private platform root for the probe, removed afterwards: a check leaves nothing behind.
class ScratchRoot {
public:
    ScratchRoot() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quorvex-check-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw IoError("cannot make a scratch folder for the check");
        }
        m_path = pattern;
    }
    ~ScratchRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

std::vector<uint8_t> ReadShowBytes(const std::string& path) {
    WholeFile file = ReadRegularFile(path, 0x7FFFFFFF);
    if (file.Status != WholeFile::Ok) {
        throw IoError("cannot read '" + path + "'" +
                      (file.Status == WholeFile::NotRegular ? ": not a regular file" : ""));
    }
    return {file.Bytes.begin(), file.Bytes.end()};
}

} // namespace

int CheckCommand(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
        throw ToolError(kExitUsage, "check: usage: quorvex-show check SHOW.qdm");
    }
    const std::string& name = args[0];
    const std::vector<uint8_t> bytes = ReadShowBytes(name);
    std::ostringstream out;
    std::vector<std::string> blocking; // why the player does not play it
    std::vector<std::string> messages; // lines the style would show on its error screen

    const char* foreign = ForeignFileKind(bytes);
    const ShowLayout layout = LocateShow(bytes);
    if (foreign || ImpossibleHeader(layout.Show, layout.HeaderCut)) {
        std::cout << name << ": not a show file"
                  << (foreign ? std::string(": it is ") + foreign : std::string()) << "\n";
        return kExitIo;
    }
    if (layout.Style) {
        out << "style: " << layout.Style->Params->StyleName;
        if (layout.Style->Params->ModeCount > 1) {
            out << " mode " << layout.Style->Mode;
        }
        out << " (TransitionType " << layout.Show.TransitionType << ")\n";
        if (!layout.Style->Run) {
            blocking.push_back("this player has no " +
                               std::string(layout.Style->Params->StyleName) +
                               " style yet: the run ends at once");
        }
    }
    for (const std::string& p : layout.Problems) {
        // Pictures are judged below by loading them, and only those the style uses count;
        // the logo belongs to the about box and the installer, not to the run.
        if (p.rfind("picture ", 0) == 0) {
            continue;
        }
        if (p.rfind("logo ", 0) == 0 || p.rfind("LogoOffset ", 0) == 0) {
            out << "warning: " << p << "\n";
            continue;
        }
        blocking.push_back(p);
    }
    if (layout.Refused && layout.Refused->Refusal) {
        messages.emplace_back(layout.Refused->Refusal);
    }
    for (const std::string& w : layout.Warnings) {
        out << "warning: " << w << "\n";
    }

    ScratchRoot root;
    EngineProbe probe(name, root.Path());
    if (!layout.Show.SoundFile.empty() &&
        !probe.MediaThere(layout.Show, name, layout.Show.SoundFile)) {
        out << "warning: the sound file " << layout.Show.SoundFile
            << " is not beside the show: it plays without sound\n";
    }
    if (layout.Style && layout.Style->Sound == StyleSound::Own && layout.TableOffset) {
        const std::string video(layout.Parameters.Str("VideoFile"));
        if (!probe.MediaThere(layout.Show, name, video)) {
            blocking.push_back("the video file " + video + " is not beside the show");
            messages.emplace_back(kVideoOpenMessage);
        }
    }
    if (layout.TableOffset) {
        const std::set<int32_t> used = PicturesOfBlock(layout.Parameters);
        std::set<int32_t> listed;
        for (const TableEntry& e : layout.Pictures) {
            listed.insert(e.Index);
        }
        listed.insert(used.begin(), used.end());
        out << "pictures:\n";
        for (const int32_t n : listed) {
            const bool needed = used.count(n) != 0;
            out << "  " << n << ": ";
            if (n < 0 || n >= kPictureTableEntries) {
                out << "no such table entry [LB]";
                blocking.push_back("picture " + std::to_string(n) + " is outside the table");
                messages.push_back(FatalErrorText(layout.Show, "LB"));
                out << "\n";
                continue;
            }
            const Loaded l = probe.Load(*layout.TableOffset, n);
            if (l.Ok) {
                out << l.Width << "x" << l.Height << ", loads";
            } else {
                out << "does not load [" << l.Code << "]";
                if (needed) {
                    blocking.push_back("picture " + std::to_string(n) + " does not load [" +
                                       l.Code + "]");
                    messages.push_back(FatalErrorText(layout.Show, l.Code));
                }
            }
            out << (needed ? "" : " (not used by the style)") << "\n";
        }
    }
    if (!messages.empty()) {
        out << "the style would show:\n";
        for (const std::string& m : messages) {
            out << "  \"" << m << "\"\n";
        }
    }
    const bool plays = blocking.empty();
    std::cout << name << ": " << (plays ? "plays" : "does not play") << "\n";
    for (const std::string& b : blocking) {
        std::cout << "problem: " << b << "\n";
    }
    std::cout << out.str();
    return plays ? 0 : kExitIo;
}

} // namespace qv::tool
