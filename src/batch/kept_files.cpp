#include "batch/kept_files.h"
#include "batch/told.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>

#include "vimbo/engine/child_process.h"
#include "vimbo/engine/file_rewriter.h"
#include "vimbo/engine/paths.h"

namespace fs = std::filesystem;

namespace vimbo::batch {

namespace {

// Copies a file with its bytes, permissions and time stamp, where a hard
// link (which keeps all of them, and the file itself) cannot be made. A
// file linked goes into `linked` (the run must not take the link for a
// name of the build's).
bool keepFile(const fs::path& from, const fs::path& to, LinkedAside& linked) {
    vimbo::engine::FileVersion version;
    const bool known = vimbo::engine::fileVersion(from.string(), version);
    std::error_code error;
    fs::create_hard_link(from, to, error);
    if (!error) {
        if (known) linked.insert({version.device, version.file});
        return true;
    }
    if (!fs::copy_file(from, to, error) || error) return false;
    fs::permissions(to, fs::status(from).permissions(), error);
    fs::last_write_time(to, fs::last_write_time(from), error);
    return true;
}

// Whether the file is still the one kept: the same file (device and number)
// as it was when kept, whether the original was linked or copied.
bool stillKept(const std::string& file, const vimbo::engine::FileVersion& original) {
    vimbo::engine::FileVersion now;
    return vimbo::engine::fileVersion(file, now) && now.device == original.device && now.file == original.file;
}

}  // namespace

fs::path makeTemporaryDirectory(const fs::path& parent, const std::string& prefix) {
    return fs::path(vimbo::platform::makePrivateDirectory(parent.string(), prefix));
}

fs::path commonPart(const fs::path& a, const fs::path& b) {
    fs::path common;
    for (auto i = a.begin(), j = b.begin(); i != a.end() && j != b.end() && *i == *j; ++i, ++j) common /= *i;
    return common;
}

fs::path absoluteNormal(const std::string& path) { return fs::absolute(path).lexically_normal(); }

const char kKeptOriginalsPrefix[] = ".vimbo-verify-";

namespace {
// Paths under the current directory are shown from it, as the user names them.
std::string shownFrom(const fs::path& here, const fs::path& path) {
    const fs::path relative = path.lexically_relative(here);
    return relative.empty() || *relative.begin() == ".." ? path.string() : relative.string();
}
}  // namespace

namespace {
// The folders are named as makeTemporaryDirectory names them: the prefix
// and a number. Others are the project's own.
bool namesKeptOriginals(const std::string& name) {
    const std::size_t prefix = sizeof kKeptOriginalsPrefix - 1;
    if (name.size() <= prefix || name.compare(0, prefix, kKeptOriginalsPrefix) != 0) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}
}  // namespace

namespace {
constexpr char kMirrorPrefix[] = "vimbo-verify-";
constexpr char kMirrorOwner[] = "owner";  // the number of the process whose copy it is
}  // namespace

std::vector<std::string> removeAbandonedMirrors() {
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    if (error) return {};
    std::vector<fs::path> abandoned;
    for (fs::directory_iterator it(temporary, error), end; !error && it != end; it.increment(error)) {
        const fs::path place = it->path();
        const std::string name = place.filename().string();
        const std::size_t prefix = sizeof kMirrorPrefix - 1;
        if (name.size() <= prefix || name.compare(0, prefix, kMirrorPrefix) != 0 ||
            !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix), name.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        // Only a copy (it holds "tree"; kept originals never go) in a
        // directory no one else could have changed.
        std::error_code ignored;
        if (!vimbo::platform::isOwnPrivateDirectory(place.string()) ||
            !fs::is_directory(fs::symlink_status(place / "tree", ignored)))
            continue;
        std::ifstream in(place / kMirrorOwner);
        long owner = 0;
        if (!(in >> owner) || owner == vimbo::platform::currentProcessId() || vimbo::platform::processRunning(owner))
            continue;
        abandoned.push_back(place);
    }
    std::vector<std::string> removed;
    for (const fs::path& place : abandoned) {
        std::error_code failed;
        fs::remove_all(place, failed);
        if (!failed) removed.push_back(place.string());
    }
    return removed;
}

std::vector<std::string> originalsLeftBehind(const std::vector<std::string>& files) {
    // Each directory of the files and every one above it: a run over more
    // of the tree, or started higher up, kept its originals there.
    std::set<fs::path> looked;
    for (const std::string& file : files)
        for (fs::path at = absoluteNormal(file).parent_path(); looked.insert(at).second && at.has_relative_path();)
            at = at.parent_path();
    const fs::path here = fs::current_path().lexically_normal();
    std::vector<std::string> found;
    for (const fs::path& directory : looked) {
        std::error_code error;
        for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
            std::error_code ignored;
            if (namesKeptOriginals(it->path().filename().string()) && fs::is_directory(it->symlink_status(ignored)))
                found.push_back(shownFrom(here, it->path()));
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

Originals::~Originals() {
    std::error_code error;
    if (!store_.empty() && !keepStore_) fs::remove_all(store_, error);
}

bool Originals::release() {
    if (store_.empty() || keepStore_) return true;
    std::error_code error;
    fs::remove_all(store_, error);
    if (!error && !fs::exists(fs::symlink_status(store_, error))) {
        store_.clear();
        return true;
    }
    keepStore_ = true;
    Told(observer_) << "vimbo: " << store_.string()
                    << ": can't remove the originals kept for --verify (more links to the files); remove it yourself\n";
    return false;
}

namespace {
std::string directoryOfFile(const std::string& file) {
    const fs::path parent = fs::path(file).parent_path();
    return parent.empty() ? "." : parent.string();
}

// Where the original can't be swapped back (it was kept as a copy, on
// another file system): copied over the file, only while the file is the
// run's own version and its directory the one it was kept from.
vimbo::engine::PutBack copyBack(const std::string& file, const fs::path& kept, const vimbo::engine::FileVersion& ours,
                                const vimbo::engine::DirectoryIdentity& keptFrom) {
    vimbo::engine::DirectoryIdentity directory;
    vimbo::engine::FileVersion now;
    if (!vimbo::engine::directoryIdentity(directoryOfFile(file), directory) || !(directory == keptFrom) ||
        !vimbo::engine::fileVersion(file, now) || !(now == ours))
        return vimbo::engine::PutBack::changed;
    std::error_code error;
    fs::copy_file(kept, file, fs::copy_options::overwrite_existing, error);
    if (!error) fs::permissions(file, fs::status(kept).permissions(), error);
    if (!error) fs::last_write_time(file, fs::last_write_time(kept), error);
    return error ? vimbo::engine::PutBack::failed : vimbo::engine::PutBack::done;
}
}  // namespace

bool Originals::keep(const std::vector<std::string>& files, bool backups) {
    if (files.empty()) return true;
    fs::path common;
    for (const std::string& file : files) {
        const fs::path directory = absoluteNormal(file).parent_path();
        common = common.empty() ? directory : commonPart(common, directory);
    }
    // Never at the top of the file system: files of two trees keep theirs
    // in the temporary directory.
    if (common != common.root_path()) store_ = makeTemporaryDirectory(common, kKeptOriginalsPrefix);
    if (store_.empty()) store_ = makeTemporaryDirectory(fs::temp_directory_path(), "vimbo-verify-");
    if (store_.empty()) return false;
    for (const std::string& file : files) {
        const fs::path kept = store_ / std::to_string(kept_.size());
        vimbo::engine::FileVersion original;
        if (!vimbo::engine::fileVersion(file, original) || !keepFile(file, kept, linked_)) return false;
        kept_.push_back({file, kept});
        versions_.push_back(original);
        vimbo::engine::DirectoryIdentity identity;
        vimbo::engine::directoryIdentity(directoryOfFile(file), identity);
        directories_.push_back(identity);
        OldBackup old;
        const std::string backup = vimbo::engine::backupNameOf(file);
        std::error_code ignored;
        if (backups && fs::is_regular_file(fs::symlink_status(backup, ignored))) {
            old.kept = store_ / (std::to_string(kept_.size() - 1) + ".Bak");
            if (!vimbo::engine::fileVersion(backup, old.version) || !keepFile(backup, old.kept, linked_)) return false;
        }
        if (backups) backups_.push_back(old);
    }
    // Should the run be cut short, this says which kept file is which.
    std::ofstream list(store_ / "files", std::ios::binary);
    for (std::size_t i = 0; i < kept_.size(); ++i)
        list << i << "\t" << absoluteNormal(kept_[i].first).string() << "\n";
    return true;
}

std::vector<std::string> Originals::replaced() const {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < kept_.size(); ++i)
        if (!stillKept(kept_[i].first, versions_[i])) files.push_back(kept_[i].first);
    return files;
}

bool Originals::restore(const std::map<std::string, vimbo::engine::FileVersion>& written) {
    bool whole = true;
    for (std::size_t i = 0; i < kept_.size(); ++i) {
        const auto& [file, kept] = kept_[i];
        if (stillKept(file, versions_[i])) continue;
        // Only what the run wrote goes back, in one step, through the
        // directory as it was kept: a file someone else saved, wrote or
        // deleted meanwhile, or one in a directory swapped since (for a
        // link, say), stays as they left it.
        const auto ours = written.find(file);
        vimbo::engine::PutBack put =
            ours == written.end() ? vimbo::engine::PutBack::changed
                                  : vimbo::engine::putBack(file, kept.string(), ours->second, directories_[i]);
        if (put == vimbo::engine::PutBack::failed) put = copyBack(file, kept, ours->second, directories_[i]);
        if (put == vimbo::engine::PutBack::done) {
            if (i < backups_.size()) putBackupBack(i);
            continue;
        }
        whole = false;
        keepStore_ = true;
        if (put == vimbo::engine::PutBack::changed)
            Told(observer_) << "vimbo: " << file << ": changed during the run; left as it is (its original is "
                      << kept.string() << ")\n";
        else
            Told(observer_) << "vimbo: " << file << ": can't put the original back; it is " << kept.string() << "\n";
    }
    return whole;
}

namespace {
bool readAll(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}
}  // namespace

void Originals::putBackupBack(std::size_t i) {
    const std::string& file = kept_[i].first;
    const std::string backup = vimbo::engine::backupNameOf(file);
    const OldBackup& old = backups_[i];
    vimbo::engine::FileVersion now;
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(backup, error)) || !vimbo::engine::fileVersion(backup, now)) return;
    if (!old.kept.empty() && now.device == old.version.device && now.file == old.version.file) return;
    // Only a copy of the original just put back goes: anything else there
    // was written by someone else.
    std::string copy, original;
    if (!readAll(backup, copy) || !readAll(file, original) || copy != original) return;
    if (old.kept.empty()) {
        fs::remove(backup, error);
    } else {
        fs::rename(old.kept, backup, error);
        if (error) {
            error.clear();
            fs::copy_file(old.kept, backup, fs::copy_options::overwrite_existing, error);
        }
    }
    if (error) {
        keepStore_ = true;
        Told(observer_) << "vimbo: " << backup << ": can't put the old backup back"
                  << (old.kept.empty() ? std::string() : "; it is " + old.kept.string()) << "\n";
    }
}

Mirror::~Mirror() {
    std::error_code error;
    if (!place_.empty()) fs::remove_all(place_, error);
}

bool Mirror::make(const fs::path& root, std::string& error) {
    root_ = root;
    place_ = makeTemporaryDirectory(fs::temp_directory_path(), kMirrorPrefix);
    if (place_.empty()) {
        error = "can't make a temporary directory";
        return false;
    }
    // Should the run be killed, a later one tells the copy is nobody's.
    std::ofstream(place_ / kMirrorOwner) << vimbo::platform::currentProcessId() << "\n";
    copy_ = place_ / "tree";
    std::error_code failure;
    fs::create_directories(copy_, failure);
    for (auto entry = fs::recursive_directory_iterator(root, failure);
         !failure && entry != fs::recursive_directory_iterator(); entry.increment(failure)) {
        const fs::path target = copy_ / entry->path().lexically_relative(root);
        std::error_code ignored;
        if (entry->is_symlink(ignored)) {
            fs::copy_symlink(entry->path(), target, ignored);
        } else if (entry->is_directory(ignored)) {
            fs::create_directories(target, failure);
        } else if (entry->is_regular_file(ignored) && !keepFile(entry->path(), target, linked_)) {
            error = "can't copy " + entry->path().string();
            return false;
        }
    }
    if (failure) error = "can't copy " + root.string() + ": " + failure.message();
    return !failure;
}

std::string Mirror::moved(const std::string& text) const {
    const std::string from = root_.string(), to = copy_.string();
    std::string result = text;
    for (std::size_t at = result.find(from); at != std::string::npos; at = result.find(from, at + to.size())) {
        const std::size_t end = at + from.size();
        if (end < result.size() && result[end] != '/') continue;
        result.replace(at, from.size(), to);
    }
    return result;
}

bool Mirror::inside(const fs::path& target) const {
    // The copy holds the tree's links as they are: a path through one that
    // leads out of the copy (an absolute link) would write the tree itself.
    std::error_code error;
    const fs::path directory = fs::canonical(target.parent_path(), error);
    const fs::path copy = fs::canonical(copy_, error);
    if (error) return false;
    const fs::path relative = directory.lexically_relative(copy);
    return !relative.empty() && *relative.begin() != ".." && !fs::is_symlink(target, error);
}

bool Mirror::reset(const std::string& path) {
    const fs::path original = absoluteNormal(path), target = moved(original.string());
    if (!inside(target)) return false;
    std::error_code error;
    fs::remove(target, error);
    return keepFile(original, target, linked_);
}

bool Mirror::write(const std::string& path, const std::string& text) {
    const fs::path target = moved(absoluteNormal(path).string());
    if (!inside(target)) return false;
    std::error_code error;
    fs::remove(target, error);  // a hard link: the original stays as it is
    std::ofstream out(target, std::ios::binary);
    return out.write(text.data(), static_cast<std::streamsize>(text.size())) && out.flush();
}

}  // namespace vimbo::batch
