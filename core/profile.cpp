#include "core/profile.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/file_fault.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir.push_back('/');
    return dir;
}

// An XDG variable counts only when it holds an absolute path.
std::string AbsoluteOrEmpty(const char* value) {
    if (!value || value[0] != '/') return {};
    return value;
}

std::string HomeDir(const EnvironmentLookup& env) {
    std::string home = AbsoluteOrEmpty(env("HOME"));
    if (!home.empty()) return home;
    // A service started without HOME still has a home in the password database.
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::string buffer(16384, '\0');
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    throw ProfileError("找不到用户的主目录（HOME 没有设置）");
}

std::string XdgDir(const EnvironmentLookup& env, const char* variable, const char* fallback) {
    std::string dir = AbsoluteOrEmpty(env(variable));
    if (dir.empty()) dir = WithSlash(HomeDir(env)) + fallback;
    return WithSlash(dir) + "quorvane/";
}

constexpr fs::perms kPrivateFolder = fs::perms::owner_all;

// A profile folder; one an older version made open to everyone is closed as well.
void MakeFolder(const std::string& dir) {
    std::error_code ec;
    MakePrivateFolders(dir, ec);
    if (!ec) fs::permissions(dir, kPrivateFolder, ec);
    if (ec || !fs::is_directory(dir))
        throw ProfileError("无法建立文件夹 " + dir + "：" + (ec ? FileFaultText(ec.value()) : "不是文件夹"));
}

void CopyTemplate(const std::string& from, const std::string& to) {
    const std::string part = to + ".part";
    std::error_code ec;
    fs::remove(part, ec);
    fs::copy_file(from, part, ec);
    if (!ec) {
        // The template is read-only where it is installed; the user's copy is written, and
        // it is the user's alone.
        fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, ec);
    }
    if (!ec) fs::rename(part, to, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(part, ignored);
        throw ProfileError("无法从 " + from + " 建立项目数据库 " + to + "：" + ec.message());
    }
}

}  // namespace

bool MakePrivateFolders(const std::string& dir, std::error_code& ec) {
    ec.clear();
    const fs::path path = fs::path(dir).lexically_normal();
    fs::path made;
    for (const fs::path& part : path) {
        made /= part;
        if (part.empty() || fs::is_directory(made, ec)) continue;
        if (fs::create_directory(made, ec)) fs::permissions(made, kPrivateFolder, ec);
        if (ec) return false;
    }
    if (!fs::is_directory(path, ec)) {
        if (!ec) ec = std::make_error_code(std::errc::not_a_directory);
        return false;
    }
    return true;
}

std::vector<std::string> Profile::CategoryDirs() const {
    if (UserCategoryDir() == ShippedCategoryDir()) return {UserCategoryDir()};
    return {UserCategoryDir(), ShippedCategoryDir()};
}

std::string ExecutableDir() {
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    return WithSlash(ec ? fs::current_path().string() : exe.parent_path().string());
}

Profile PortableProfile(const std::string& program_dir) {
    Profile p;
    p.portable = true;
    p.program_dir = WithSlash(program_dir);
    p.shipped_dir = p.program_dir;
    p.data_dir = p.program_dir;
    p.settings_file = p.program_dir + "config.ini";
    return p;
}

Profile LocateProfile(const std::string& program_dir, const EnvironmentLookup& env) {
    const std::string dir = WithSlash(program_dir);
    std::error_code ec;
    if (fs::exists(dir + kPortableMarker, ec)) return PortableProfile(dir);
    Profile p;
    p.program_dir = dir;
    // <prefix>/bin/ -> <prefix>/share/quorvane/
    p.shipped_dir = WithSlash((fs::path(dir).parent_path().parent_path() / "share" / "quorvane").string());
    p.data_dir = XdgDir(env, "XDG_DATA_HOME", ".local/share");
    p.settings_file = XdgDir(env, "XDG_CONFIG_HOME", ".config") + "config.ini";
    return p;
}

Profile LocateProfile() { return LocateProfile(ExecutableDir(), [](const char* v) { return std::getenv(v); }); }

void PrepareProfile(const Profile& profile) {
    if (profile.portable) return;
    MakeFolder(fs::path(profile.settings_file).parent_path().string());
    MakeFolder(profile.data_dir);
    MakeFolder(profile.data_dir + "database");
    MakeFolder(profile.TaskDir());
    MakeFolder(profile.UserCategoryDir());
    std::error_code ec;
    if (fs::exists(profile.ProjectDatabase(), ec)) return;
    if (!fs::is_regular_file(profile.TemplateDatabase(), ec))
        throw ProfileError("找不到项目数据库模板 " + profile.TemplateDatabase());
    CopyTemplate(profile.TemplateDatabase(), profile.ProjectDatabase());
}

std::map<std::string, std::string> ListCategoryFiles(const std::vector<std::string>& dirs) {
    std::map<std::string, std::string> files;
    for (const std::string& dir : dirs) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& path = it->path();
            if (path.extension() != ".db" || !it->is_regular_file(ec)) continue;
            files.try_emplace(path.filename().string(), path.string());
        }
    }
    return files;
}

std::string FindCategoryFile(const std::vector<std::string>& dirs, const std::string& file_name) {
    for (const std::string& dir : dirs) {
        const std::string path = WithSlash(dir) + file_name;
        std::error_code ec;
        if (fs::is_regular_file(path, ec)) return path;
    }
    return dirs.empty() ? file_name : WithSlash(dirs.front()) + file_name;
}

}  // namespace qv
