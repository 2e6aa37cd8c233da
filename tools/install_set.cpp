#include "install_set.h"

#include "ansi_text.h"
#include "platform/desktop_settings.h"
#include "platform/files.h"
#include "show_build.h"
#include "tool_error.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>

namespace qv::tool {
namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

// Whether the player will install a file of this name (the same rule as its installer).
bool PlainName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 ||
               std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
    });
}

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

std::vector<uint8_t> ReadInput(const fs::path& file, const std::string& field) {
    const WholeFile read = ReadRegularFile(file, 0x7FFFFFFF);
    if (read.Status == WholeFile::Missing) {
        throw ManifestError(field + ": no file '" + file.string() + "'");
    }
    if (read.Status != WholeFile::Ok) {
        throw IoError(field + ": cannot read '" + file.string() + "'");
    }
    return {read.Bytes.begin(), read.Bytes.end()};
}

void WriteOutput(const fs::path& file, const uint8_t* bytes, size_t size) {
    std::error_code ec;
    fs::remove(file, ec); // a link left by an earlier set is replaced, not written through
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        throw IoError("cannot write '" + file.string() + "'");
    }
}

struct ExtraFile {
    std::string Name;
    std::vector<uint8_t> Bytes;
};

struct SetPlan {
    Json Show; // the manifest to build the show from
    std::string Setup = "SETUP.EXE";
    bool CopyPlayer = false;
    int64_t DiskSize = 0; // 0: one disk
    std::vector<ExtraFile> Extras;
    std::optional<fs::path> ReadMe;
    std::optional<fs::path> Licence;
    bool WholeDiskIsShow = false; // ShowDataSize 0 given: disk 1 holds the show alone
};

const Json& InstallationOf(const Json& m) {
    const Json& inst = m["Installation"];
    if (!inst.is_object()) {
        throw ManifestError("Installation: expected an object");
    }
    return inst;
}

SetPlan Plan(const Json& m, const fs::path& baseDir, std::vector<std::string>& warnings) {
    SetPlan plan;
    plan.Show = m;
    plan.Show.erase("Installation");
    const Json& inst = InstallationOf(m);
    for (const char* key : {"ExtraFileCount", "ExtraFileSize", "ExtraFileName"}) {
        if (m.contains(key)) {
            throw ManifestError(std::string(key) +
                                ": filled in from Installation.ExtraFiles; leave it out");
        }
    }
    for (const auto& [key, value] : inst.items()) {
        const std::string field = "Installation." + key;
        if (key == "Setup") {
            if (!value.is_string()) {
                throw ManifestError(field + ": expected a file name");
            }
            plan.Setup = value.get<std::string>();
        } else if (key == "SetupCopy") {
            if (!value.is_boolean()) {
                throw ManifestError(field + ": expected true or false");
            }
            plan.CopyPlayer = value.get<bool>();
        } else if (key == "DiskSize") {
            if (!value.is_number_integer() || value.get<int64_t>() < 0 ||
                value.get<int64_t>() > std::numeric_limits<int32_t>::max()) {
                throw ManifestError(field + ": a byte count from 1 to 2147483647 (0: one disk)");
            }
            plan.DiskSize = value.get<int64_t>();
        } else if (key == "ReadMe" || key == "Licence") {
            if (!value.is_string()) {
                throw ManifestError(field + ": expected a file name");
            }
            (key == "ReadMe" ? plan.ReadMe : plan.Licence) = baseDir / value.get<std::string>();
        } else if (key == "ExtraFiles") {
            if (!value.is_array() || value.size() > 2) {
                throw ManifestError(field + ": an array of at most two {\"File\", \"Name\"}");
            }
            for (size_t i = 0; i < value.size(); ++i) {
                const std::string item = field + "[" + std::to_string(i) + "]";
                const Json& e = value[i];
                if (!e.is_object() || !e.contains("File") || !e["File"].is_string() ||
                    !e.contains("Name") || !e["Name"].is_string() || e.size() != 2) {
                    throw ManifestError(item + ": expected {\"File\": source, \"Name\": name}");
                }
                const std::optional<std::string> name = Utf8ToAnsi(e["Name"].get<std::string>());
                if (!name || name->find('\0') != std::string::npos) {
                    throw ManifestError(item + ".Name: not a name the show file can hold");
                }
                if (!PlainName(*name)) {
                    warnings.push_back(item + ".Name: '" + *name +
                                       "' is not a plain file name: the player refuses to "
                                       "install it");
                }
                ExtraFile extra{*name,
                                ReadInput(baseDir / e["File"].get<std::string>(), item + ".File")};
                if (extra.Bytes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
                    throw ManifestError(item + ".File: larger than 2 GiB");
                }
                plan.Extras.push_back(std::move(extra));
            }
        } else {
            throw ManifestError(field + ": unknown key (Setup, SetupCopy, DiskSize, ExtraFiles, "
                                        "ReadMe, Licence)");
        }
    }
    const std::string upper = Upper(plan.Setup);
    if (!PlainName(plan.Setup) || upper.find("SETUP") == std::string::npos ||
        (upper.find(".EXE") == std::string::npos && upper.find(".SCR") == std::string::npos)) {
        throw ManifestError("Installation.Setup: '" + plan.Setup +
                            "' must be a plain file name holding SETUP and ending in .EXE or "
                            ".SCR, so that the program starts as the installer and finds its "
                            "show");
    }
    if (m.contains("SaverFileName") && m["SaverFileName"].is_string() &&
        !PlainName(m["SaverFileName"].get<std::string>())) {
        warnings.push_back("SaverFileName: not a plain file name: the player refuses to "
                           "install the saver");
    }
    plan.WholeDiskIsShow = m.contains("ShowDataSize") && m["ShowDataSize"] == 0;
    return plan;
}

// The disk files' contents: the show data first, then the extra files, cut at the disk
// size (disk 1 ends after the show when ShowDataSize 0 says it is all show).
std::vector<std::vector<uint8_t>> Disks(const SetPlan& plan, const std::vector<uint8_t>& show) {
    std::vector<std::vector<uint8_t>> disks(1);
    const auto add = [&](const std::vector<uint8_t>& bytes) {
        for (const uint8_t b : bytes) {
            if (plan.DiskSize > 0 && static_cast<int64_t>(disks.back().size()) >= plan.DiskSize) {
                disks.emplace_back();
            }
            disks.back().push_back(b);
        }
    };
    add(show);
    if (plan.WholeDiskIsShow && !plan.Extras.empty()) {
        disks.emplace_back();
    }
    for (const ExtraFile& e : plan.Extras) {
        add(e.Bytes);
    }
    return disks;
}

int64_t DiskCountOf(const SetPlan& plan, size_t showSize) {
    int64_t total = static_cast<int64_t>(showSize);
    int64_t extras = 0;
    for (const ExtraFile& e : plan.Extras) {
        extras += static_cast<int64_t>(e.Bytes.size());
    }
    const auto count = [&](int64_t bytes) {
        return plan.DiskSize > 0 ? std::max<int64_t>((bytes + plan.DiskSize - 1) / plan.DiskSize, 1)
                                 : 1;
    };
    if (plan.WholeDiskIsShow && extras > 0) {
        return 1 + count(extras);
    }
    return count(total + extras);
}

std::vector<uint8_t> BuildPlanned(const Json& m, const SetPlan& plan, const fs::path& baseDir,
                                  std::vector<std::string>& warnings) {
    Json show = plan.Show;
    Json sizes = Json::array();
    Json names = Json::array();
    for (const ExtraFile& e : plan.Extras) {
        sizes.push_back(static_cast<int64_t>(e.Bytes.size()));
        names.push_back(AnsiToUtf8(e.Name));
    }
    show["ExtraFileSize"] = sizes;
    show["ExtraFileName"] = names;
    // The header's size does not depend on these values: a first build gives the size.
    const bool givenSize = m.contains("ShowDataSize");
    const bool givenDisks = m.contains("DiskCount");
    if (!givenSize) {
        show["ShowDataSize"] = 0;
    }
    if (!givenDisks) {
        show["DiskCount"] = 1;
    }
    const size_t size = BuildShow(show, baseDir).Bytes.size();
    if (!givenSize) {
        show["ShowDataSize"] = static_cast<int64_t>(size);
    }
    const int64_t disks = DiskCountOf(plan, size);
    if (!givenDisks) {
        show["DiskCount"] = disks;
    } else if (show["DiskCount"] != disks) {
        warnings.push_back("DiskCount: " + show["DiskCount"].dump() + " as given, but the set " +
                           "has " + std::to_string(disks) + " disks");
    }
    if (givenSize && show["ShowDataSize"] != 0 &&
        show["ShowDataSize"] != static_cast<int64_t>(size)) {
        warnings.push_back("ShowDataSize: " + show["ShowDataSize"].dump() +
                           " as given, but the show has " + std::to_string(size) + " bytes");
    }
    if (plan.DiskSize > 0 && static_cast<int64_t>(size) > plan.DiskSize) {
        warnings.push_back("Installation.DiskSize: the show continues past disk 1; the setup "
                           "reads its texts and logo from disk 1 only");
    }
    BuildResult result = BuildShow(show, baseDir);
    warnings.insert(warnings.end(), result.Warnings.begin(), result.Warnings.end());
    return std::move(result.Bytes);
}

} // namespace

BuildResult BuildSetShow(const Json& m, const fs::path& baseDir) {
    if (!m.is_object() || !m.contains("Installation")) {
        return BuildShow(m, baseDir);
    }
    BuildResult result;
    const SetPlan plan = Plan(m, baseDir, result.Warnings);
    result.Bytes = BuildPlanned(m, plan, baseDir, result.Warnings);
    return result;
}

SetResult WriteInstallationSet(const Json& m, const fs::path& baseDir, const fs::path& dir,
                               const fs::path& player) {
    SetResult result;
    if (!m.is_object()) {
        throw ManifestError("the manifest must be a JSON object of fields by name");
    }
    Json withSet = m;
    if (!withSet.contains("Installation")) {
        withSet["Installation"] = Json::object();
    }
    const SetPlan plan = Plan(withSet, baseDir, result.Warnings);
    const std::vector<uint8_t> show = BuildPlanned(withSet, plan, baseDir, result.Warnings);
    // Read everything before the first file is written.
    std::optional<std::vector<uint8_t>> readMe;
    std::optional<std::vector<uint8_t>> licence;
    if (plan.ReadMe) {
        readMe = ReadInput(*plan.ReadMe, "Installation.ReadMe");
    }
    if (plan.Licence) {
        licence = ReadInput(*plan.Licence, "Installation.Licence");
    }
    if (player.empty() || !fs::is_regular_file(player)) {
        throw IoError("no player to set up with ('" + player.string() +
                      "'): give it with --player=PATH");
    }

    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
        throw IoError("cannot make the folder '" + dir.string() + "'");
    }
    const fs::path setup = dir / plan.Setup;
    fs::remove(setup, ec);
    if (plan.CopyPlayer) {
        fs::copy_file(player, setup, fs::copy_options::overwrite_existing, ec);
    } else {
        fs::create_symlink(fs::absolute(player), setup, ec);
    }
    if (ec) {
        throw IoError("cannot write '" + setup.string() + "': " + ec.message());
    }
    result.Written.push_back(setup);

    // BASE: the setup's name up to its first ".EXE" (else ".SCR"), as the player finds
    // its show file.
    const std::string upper = Upper(plan.Setup);
    size_t dot = upper.find(".EXE");
    if (dot == std::string::npos) {
        dot = upper.find(".SCR");
    }
    const std::string base = plan.Setup.substr(0, dot);
    const std::vector<std::vector<uint8_t>> disks = Disks(plan, show);
    for (size_t i = 0; i < disks.size(); ++i) {
        const fs::path file =
            dir / (base + (i == 0 ? std::string(".qdm") : "." + std::to_string(i + 1)));
        WriteOutput(file, disks[i].data(), disks[i].size());
        result.Written.push_back(file);
    }
    if (readMe) {
        WriteOutput(dir / "readme.txt", readMe->data(), readMe->size());
        result.Written.push_back(dir / "readme.txt");
    }
    if (licence) {
        WriteOutput(dir / "licence.txt", licence->data(), licence->size());
        result.Written.push_back(dir / "licence.txt");
    }
    return result;
}

fs::path DefaultPlayer() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path beside = self.parent_path() / "quorvex";
        if (fs::is_regular_file(beside, ec)) {
            return beside;
        }
    }
    const char* path = std::getenv("PATH");
    return FindOnSearchPath("quorvex", path ? path : "");
}

} // namespace qv::tool
