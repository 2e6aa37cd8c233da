#include "platform/library.h"

#include "platform/error.h"
#include "platform/password_host.h"
#include "platform/platform.h"
#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

Platform& Os(void* context) {
    return *static_cast<Platform*>(context);
}

int32_t QueryValue(void* context, const char* key, const char* name, uint32_t* type, uint8_t* data,
                   uint32_t* size) {
    if (!key || !name || !size) {
        return ERROR_INVALID_PARAMETER;
    }
    try {
        Registry& reg = Os(context).Registry();
        HKEY k = 0;
        LONG r = reg.RegOpenKeyEx(HKEY_CURRENT_USER, key, KEY_READ, &k);
        if (r != ERROR_SUCCESS) {
            return r;
        }
        std::vector<uint8_t> bytes;
        uint32_t t = 0;
        r = reg.RegQueryValueEx(k, name, &t, &bytes);
        reg.RegCloseKey(k);
        if (r != ERROR_SUCCESS) {
            return r;
        }
        if (type) {
            *type = t;
        }
        const bool fits = data && bytes.size() <= *size;
        if (fits) {
            std::memcpy(data, bytes.data(), bytes.size());
        }
        *size = static_cast<uint32_t>(bytes.size());
        return fits || !data ? ERROR_SUCCESS : 234; // ERROR_MORE_DATA
    } catch (...) {
        return ERROR_BADDB;
    }
}

int32_t SetValue(void* context, const char* key, const char* name, uint32_t type,
                 const uint8_t* data, uint32_t size) {
    if (!key || !name || (!data && size > 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    try {
        Registry& reg = Os(context).Registry();
        HKEY k = 0;
        LONG r = reg.RegCreateKeyEx(HKEY_CURRENT_USER, key, KEY_ALL_ACCESS, &k);
        if (r != ERROR_SUCCESS) {
            return r;
        }
        r = reg.RegSetValueEx(k, name, type, std::span<const uint8_t>(data, size));
        reg.RegCloseKey(k);
        return r;
    } catch (...) {
        return ERROR_BADDB;
    }
}

// Copies text into a component's buffer of QV_TEXT_MAX bytes; false when it does not fit.
bool CopyText(const std::string& text, char* out) {
    if (text.size() >= QV_TEXT_MAX) {
        return false;
    }
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

// Wipes a string that held typed text.
void Wipe(std::string& text) {
    explicit_bzero(text.data(), text.size());
    text.clear();
}

int32_t AskPassword(void* context, uint32_t owner, char* text) {
    Platform& os = Os(context);
    PasswordHost* host = PasswordHostOf(os.Host());
    std::optional<std::string> typed;
    try {
        typed = host ? host->AskPassword(owner) : std::nullopt;
    } catch (...) {
        typed.reset();
    }
    const bool ok = typed && CopyText(*typed, text);
    if (typed) {
        Wipe(*typed);
    }
    os.Trace().Emit("password-prompt", {{"form", "verify"}, {"answer", ok ? "typed" : "cancel"}});
    return ok ? 1 : 0;
}

int32_t AskChangePassword(void* context, uint32_t owner, QvChangePasswordForm* form) {
    Platform& os = Os(context);
    PasswordHost* host = PasswordHostOf(os.Host());
    if (!form) {
        return 0;
    }
    std::optional<ChangePasswordAnswer> answer;
    try {
        answer = host ? host->AskChangePassword(owner, {form->HasOld != 0, form->UsePassword != 0})
                      : std::nullopt;
    } catch (...) {
        answer.reset();
    }
    bool ok = answer && CopyText(answer->Old, form->Old) && CopyText(answer->New, form->New) &&
              CopyText(answer->Confirm, form->Confirm);
    if (ok) {
        form->UsePassword = answer->UsePassword ? 1 : 0;
    }
    if (answer) {
        Wipe(answer->Old);
        Wipe(answer->New);
        Wipe(answer->Confirm);
    }
    os.Trace().Emit("password-prompt", {{"form", "change"}, {"answer", ok ? "typed" : "cancel"}});
    return ok ? 1 : 0;
}

int32_t ShowMessageBox(void* context, uint32_t owner, const char* text, const char* caption,
                       uint32_t flags) {
    try {
        return Os(context).User().MessageBox(owner, text ? text : "", caption ? caption : "",
                                             flags);
    } catch (...) {
        return 2; // IDCANCEL
    }
}

void EmitTrace(void* context, const char* event, const char* fieldsJson) {
    if (!event) {
        return;
    }
    nlohmann::json fields = nlohmann::json::parse(fieldsJson ? fieldsJson : "{}", nullptr, false);
    if (!fields.is_object()) {
        fields = nlohmann::json::object();
    }
    Os(context).Trace().Emit(event, std::move(fields));
}

std::vector<fs::path> DefaultSources() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    const fs::path dir = self.parent_path();
    return {dir / "quorvex-components", dir.parent_path() / "lib" / "quorvex"};
}

std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool CopyFileAtomically(const fs::path& from, const fs::path& to) {
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string tmp = to.string() + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    char buf[64 * 1024];
    while (ok && in) {
        in.read(buf, sizeof buf);
        const std::streamsize got = in.gcount();
        for (std::streamsize done = 0; ok && done < got;) {
            const ssize_t n = ::write(fd, buf + done, static_cast<size_t>(got - done));
            ok = n > 0;
            done += n > 0 ? n : 0;
        }
    }
    ok = ok && in.eof() && ::fchmod(fd, 0755) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), to.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace

Libraries::Libraries(Platform& os) : m_os(os), m_sources(DefaultSources()) {
    m_services.Size = sizeof(QvComponentServices);
    m_services.Context = &m_os;
    m_services.RegQueryValue = &QueryValue;
    m_services.RegSetValue = &SetValue;
    m_services.AskPassword = &AskPassword;
    m_services.AskChangePassword = &AskChangePassword;
    m_services.MessageBox = &ShowMessageBox;
    m_services.Trace = &EmitTrace;
}

Libraries::~Libraries() {
    while (!m_loaded.empty()) {
        FreeLibrary(m_loaded.begin()->first);
    }
}

bool Libraries::InstallComponent(const fs::path& target) {
    const std::string name = LowerCase(target.filename().string());
    const auto* entry = std::find_if(std::begin(kComponentFiles), std::end(kComponentFiles),
                                     [&](const ComponentFile& c) { return name == c.SystemName; });
    if (entry == std::end(kComponentFiles)) {
        return false;
    }
    std::error_code ec;
    for (const fs::path& dir : m_sources) {
        const fs::path from = dir / entry->BuiltName;
        if (!fs::is_regular_file(from, ec)) {
            continue;
        }
        if (!m_os.Paths().EnsureDirectories()) {
            return false;
        }
        // Under the name the system directory gives it, in lower case as it is found.
        const fs::path to = m_os.Paths().SystemDir() / entry->SystemName;
        if (!CopyFileAtomically(from, to)) {
            return false;
        }
        m_os.Trace().Emit("component-install", {{"file", to.string()}, {"from", from.string()}});
        return true;
    }
    return false;
}

HMODULE Libraries::LoadLibrary(std::string_view file) {
    std::string windowsPath(file);
    if (windowsPath.find_first_of("\\/:") == std::string::npos) {
        windowsPath = m_os.Paths().GetSystemDirectory() + "\\" + windowsPath;
    }
    fs::path path = m_os.Paths().Resolve(windowsPath);
    std::error_code ec;
    // The root may have been given as a relative path: compare where the folders are.
    if (!path.empty() && !fs::exists(path, ec) &&
        fs::weakly_canonical(path.parent_path(), ec) ==
            fs::weakly_canonical(m_os.Paths().SystemDir(), ec) &&
        InstallComponent(path)) {
        path = m_os.Paths().Resolve(windowsPath);
    }
    void* handle = nullptr;
    std::string error;
    if (path.empty() || !fs::is_regular_file(path, ec)) {
        error = "no such file";
    } else {
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* e = ::dlerror();
            error = e ? e : "not a library";
        }
    }
    nlohmann::json f{{"file", std::string(file)}, {"loaded", handle != nullptr}};
    if (!handle) {
        f["error"] = error;
    }
    m_os.Trace().Emit("library-load", f);
    if (!handle) {
        return 0;
    }
    const HMODULE module = m_next++;
    m_loaded[module] = handle;
    if (auto attach =
            reinterpret_cast<QvAttachComponentProc>(::dlsym(handle, "QvAttachComponent"))) {
        attach(&m_services);
    }
    return module;
}

void* Libraries::GetProcAddress(HMODULE module, std::string_view name) {
    auto it = m_loaded.find(module);
    if (it == m_loaded.end()) {
        return nullptr;
    }
    return ::dlsym(it->second, std::string(name).c_str());
}

bool Libraries::FreeLibrary(HMODULE module) {
    auto it = m_loaded.find(module);
    if (it == m_loaded.end()) {
        return false;
    }
    if (auto detach =
            reinterpret_cast<QvDetachComponentProc>(::dlsym(it->second, "QvDetachComponent"))) {
        detach();
    }
    ::dlclose(it->second);
    m_loaded.erase(it);
    m_os.Trace().Emit("library-free", {{"module", module}});
    return true;
}

PasswordHost* PasswordHostOf(Host& host) {
    return dynamic_cast<PasswordHost*>(&host);
}

} // namespace qv
