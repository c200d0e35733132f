#include "Support/SubstateFakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace morvo::testing::substates {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/morvo-substates-XXXXXX";
    if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
    root_ = fs::canonical(pattern).string();
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string TempFolder::path(std::string_view relative) const {
    return relative.empty() ? root_ : root_ + "/" + std::string(relative);
}

std::string TempFolder::folder(std::string_view relative) {
    fs::create_directories(path(relative));
    return path(relative);
}

std::string TempFolder::file(std::string_view relative, std::int64_t size) {
    return file(relative, std::string(static_cast<std::size_t>(size), 'x'));
}

std::string TempFolder::file(std::string_view relative, std::string_view contents) {
    const std::string full = path(relative);
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream out(full, std::ios::binary);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    return full;
}

std::string TempFolder::bundle(std::string_view relative, std::string_view identifier, std::string_view name) {
    std::string plist =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>CFBundleIdentifier</key><string>" + std::string(identifier) + "</string>";
    if (!name.empty()) plist += "<key>CFBundleName</key><string>" + std::string(name) + "</string>";
    plist += "</dict></plist>\n";
    file(std::string(relative) + "/Contents/Info.plist", plist);
    folder(std::string(relative) + "/Contents/MacOS");
    return path(relative);
}

bool TempFolder::exists(std::string_view relative) const {
    std::error_code ec;
    return fs::symlink_status(path(relative), ec).type() != fs::file_type::not_found;
}

void FakeRunningApplications::set(std::vector<RunningApplication> apps) {
    apps_ = std::move(apps);
    emit applicationsChanged();
}

RunningApplication FakeRunningApplications::app(std::optional<std::string> identifier,
                                                std::optional<std::string> bundlePath) {
    RunningApplication app;
    app.bundleIdentifier = std::move(identifier);
    if (bundlePath) app.bundleURL = Url::file(*bundlePath, true);
    return app;
}

std::optional<Url> FolderMover::trashItem(const Url& item, const TrashItemIdentity&) {
    {
        std::unique_lock lock(mutex_);
        if (hold_) {
            waiting_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return released_; });
            waiting_ = false;
        }
        if (failing_.count(item.path)) throw PosixError(EACCES, item.path);
    }
    fs::create_directories(trashFolder_);
    std::string target = trashFolder_ + "/" + item.lastPathComponent();
    for (int n = 2; fs::exists(fs::symlink_status(target)); ++n)
        target = trashFolder_ + "/" + item.lastPathComponent() + "." + std::to_string(n);
    fs::rename(item.path, target);
    std::lock_guard lock(mutex_);
    moved_.push_back(item.path);
    return Url::file(target, fs::is_directory(fs::symlink_status(target)));
}

std::vector<std::string> FolderMover::movedPaths() const {
    std::lock_guard lock(mutex_);
    return moved_;
}

void FolderMover::release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
}

bool FolderMover::waitUntilHeld(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return waiting_; });
}

TrashPreview GatedTrashService::prepare(const std::vector<Url>& urls, const std::vector<Url>& protectedURLs,
                                        std::stop_token stop) {
    {
        std::unique_lock lock(mutex_);
        ++calls_;
        protected_ = protectedURLs;
        changed_.wait(lock, [&] { return !held_; });
    }
    return TrashService::prepare(urls, protectedURLs, stop);
}

void GatedTrashService::open() {
    std::lock_guard lock(mutex_);
    held_ = false;
    changed_.notify_all();
}

TrashReport GatedTrashService::moveToTrash(const TrashPreview& preview, const std::set<std::string>& confirmedIDs,
                                           const std::vector<Url>& protectedURLs,
                                           const std::map<std::string, std::string>& dependencies,
                                           std::stop_token stop) {
    {
        std::lock_guard lock(mutex_);
        confirmed_ = confirmedIDs;
        dependencies_ = dependencies;
        protected_ = protectedURLs;
    }
    return TrashService::moveToTrash(preview, confirmedIDs, protectedURLs, dependencies, stop);
}

void Gate::open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
}

bool Gate::wait(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    return changed_.wait(lock, stop, [&] { return open_; });
}

void HoldableGate::hold() {
    std::lock_guard lock(mutex_);
    held_ = std::make_shared<Gate>();
}

void HoldableGate::release() {
    std::shared_ptr<Gate> open;
    {
        std::lock_guard lock(mutex_);
        open.swap(held_);
    }
    if (open) open->open();
}

bool HoldableGate::pass(std::stop_token stop) {
    std::shared_ptr<Gate> held;
    {
        std::lock_guard lock(mutex_);
        held = held_;
    }
    return !held || held->wait(stop);
}

} // namespace morvo::testing::substates
