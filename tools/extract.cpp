#include "extract.h"

#include "png_io.h"
#include "show_info.h"
#include "tool_error.h"

#include <cstdio>
#include <system_error>

namespace qv::tool {
namespace {

void Extract(std::span<const uint8_t> file, const std::vector<TableEntry>& entries,
             const std::filesystem::path& dir, const char* prefix, ExtractResult& result) {
    for (const TableEntry& e : entries) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%02d.png", prefix, e.Index);
        const std::optional<IndexedPicture> picture = DecodePictureRecord(file, e.Record);
        if (!picture) {
            result.Problems.push_back(std::string(name) + " not written: " + e.Record.Problem);
            continue;
        }
        // One picture that cannot be written does not stop the others.
        try {
            WritePng(dir / name, *picture);
        } catch (const ToolError& e) {
            std::error_code ignored;
            std::filesystem::remove(dir / name, ignored);
            result.Problems.push_back(std::string(name) + " not written: " + e.what());
            result.WriteFailed = true;
            continue;
        }
        result.Written.push_back(dir / name);
    }
}

} // namespace

ExtractResult ExtractPictures(std::span<const uint8_t> file, const std::filesystem::path& dir) {
    const ShowLayout layout = LocateShow(file);
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        throw IoError("cannot create '" + dir.string() + "': " + error.message());
    }
    ExtractResult result;
    if (!layout.TableOffset) {
        result.Problems = layout.Problems;
    }
    Extract(file, layout.Pictures, dir, "picture", result);
    Extract(file, layout.Logo, dir, "logo", result);
    return result;
}

} // namespace qv::tool
