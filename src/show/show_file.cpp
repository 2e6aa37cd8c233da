#include "show/show_file.h"

#include "platform/paths.h"

#include <algorithm>

namespace qv {
namespace {

std::string Cut(std::string text, size_t limit) {
    if (text.size() > 255) {
        text.resize(255);
    }
    if (text.size() > limit) {
        text.resize(limit);
    }
    return text;
}

bool Flag(int32_t value) {
    return (value & 0xFF) != 0;
}

} // namespace

std::string ShowFileName(const std::string& arg0, const std::string& arg1,
                         const std::string& arg2) {
    if (UpperCase(arg1) == "/DEMO") {
        return UpperCase(arg2);
    }
    const std::string path = UpperCase(arg0);
    size_t dot = path.find(".EXE");
    if (dot == std::string::npos) {
        dot = path.find(".SCR");
    }
    const std::string stem = dot == std::string::npos ? std::string() : path.substr(0, dot + 1);
    return stem + "QDM";
}

std::string ShowFileNameOf(const Platform& os) {
    const std::string& chosen = os.Options().Show;
    if (!chosen.empty() && UpperCase(os.ParamStr(1)) != "/DEMO") {
        return UpperCase(PathMap::ToWindows(chosen));
    }
    return ShowFileName(os.ParamStr(0), os.ParamStr(1), os.ParamStr(2));
}

void ComputeShowNames(const std::string& fileName, ShowRecord& show) {
    // The platform takes "/" as a separator too, so a show named with forward slashes
    // (a /DEMO argument typed in a POSIX shell) still has its directory.
    const size_t slash = fileName.find_last_of("\\/");
    show.ShowDir = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
    const size_t qdm = fileName.find(".QDM");
    if (qdm == std::string::npos) {
        show.ShowBaseName.clear();
        return;
    }
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    // A ".QDM" inside a directory name lies before the base name: nothing follows it there.
    show.ShowBaseName = qdm >= start ? Cut(fileName.substr(start, qdm - start), 64) : std::string();
}

void ReadShowHeader(ShowReader& r, ShowRecord& s) {
    s.ExtraFileCount = r.ReadInt();
    // The record keeps two entries; the others are passed over without being read one by one.
    constexpr int32_t kKept = 2;
    for (int32_t i = 0; i < std::min(s.ExtraFileCount, kKept) && !r.HitEnd(); ++i) {
        s.ExtraFileSize[static_cast<size_t>(i)] = r.ReadInt();
        s.ExtraFileName[static_cast<size_t>(i)] = r.ReadStr();
    }
    if (s.ExtraFileCount > kKept && !r.HitEnd()) {
        r.SkipEntries(static_cast<uint32_t>(s.ExtraFileCount - kKept));
    }
    s.ShowDataSize = r.ReadInt();
    s.LogoOffset = r.ReadInt();
    s.DiskCount = r.ReadInt();
    s.SaverFileName = Cut(r.ReadStr(), 64);
    s.SaverTitle = Cut(r.ReadStr(), 64);
    s.AboutText = r.ReadStr();
    s.LogoKind = r.ReadInt();
    s.ClientText = r.ReadStr();
    s.TransitionType = r.ReadInt();
    r.ReadInt(); // reserved
    r.ReadInt(); // reserved
    s.SoundFile = r.ReadStr();
    s.SoundLoop = r.ReadInt();
    r.ReadInt(); // SpareValue, ignored
    s.BannerPlace = Cut(r.ReadStr(), 32);
    s.BannerText = r.ReadStr();
    s.BannerFont = Cut(r.ReadStr(), 32);
    s.BannerSize = r.ReadInt();
    s.BannerBold = Flag(r.ReadInt());
    s.BannerItalic = Flag(r.ReadInt());
    s.BannerColor = static_cast<uint32_t>(r.ReadInt());
    s.ClockPlace = Cut(r.ReadStr(), 4);
    s.ClockFormat = Cut(r.ReadStr(), 32);
    s.ClockFont = Cut(r.ReadStr(), 32);
    s.ClockSize = r.ReadInt();
    s.ClockBold = Flag(r.ReadInt());
    s.ClockItalic = Flag(r.ReadInt());
    s.ClockColor = static_cast<uint32_t>(r.ReadInt());

    if (!s.BannerText.empty()) {
        s.BannerText = " " + s.BannerText + " ";
    }
    if (s.BannerFont.empty()) {
        s.BannerFont = "Arial";
    }
}

void LoadShow(ShowContext& ctx) {
    SeedRandom(ctx);
    const std::string name = ShowFileNameOf(ctx.Os);
    FileSystem& files = ctx.Os.Files();
    HFILE file = files.CreateFile(name, FileAccess::ReadWrite, FileCreation::OpenExisting);
    if (file < 0) {
        file = files.CreateFile(name, FileAccess::Read, FileCreation::OpenExisting);
    }
    ctx.Run.ShowFile = file;
    if (file < 0) {
        return;
    }
    ComputeShowNames(name, ctx.Show);
    FileShowReader reader(files, file);
    ReadShowHeader(reader, ctx.Show);
}

void CloseShow(ShowContext& ctx) {
    ctx.Os.Files().CloseHandle(ctx.Run.ShowFile);
}

int32_t ReadInt(ShowContext& ctx) {
    FileShowReader reader(ctx.Os.Files(), ctx.Run.ShowFile);
    return reader.ReadInt();
}

std::string ReadStr(ShowContext& ctx) {
    FileShowReader reader(ctx.Os.Files(), ctx.Run.ShowFile);
    return reader.ReadStr();
}

} // namespace qv
