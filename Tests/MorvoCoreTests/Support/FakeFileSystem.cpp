#include "Support/FakeFileSystem.h"

#include "MorvoCore/Platform/Path.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace morvo::testing {

FakeFileSystem::FakeFileSystem() {
    Item root;
    root.metadata.mode = S_IFDIR | 0755;
    root.metadata.device = 1;
    root.metadata.inode = 1;
    root.metadata.linkCount = 2;
    items_.emplace("/", root);
}

FileMetadata& FakeFileSystem::add(const std::string& p, std::uint32_t mode, std::uint64_t device) {
    const std::string parent(path::parent(p));
    auto it = items_.find(parent);
    if (it == items_.end() || !it->second.metadata.isDirectory()) throw std::logic_error("no folder " + parent);
    if (items_.count(p)) throw std::logic_error("exists " + p);
    it->second.names.emplace_back(path::lastComponent(p));
    Item item;
    item.metadata.mode = mode;
    item.metadata.device = device;
    item.metadata.inode = nextInode_++;
    item.metadata.linkCount = 1;
    item.metadata.modification = {1700000000, 5};
    return items_.emplace(p, item).first->second.metadata;
}

FileMetadata& FakeFileSystem::folder(const std::string& p, std::uint64_t device) {
    return add(p, S_IFDIR | 0755, device);
}

FileMetadata& FakeFileSystem::file(const std::string& p, std::int64_t size, std::int64_t blocks, std::uint64_t device) {
    FileMetadata& m = add(p, S_IFREG | 0644, device);
    m.size = size;
    m.blocks = blocks >= 0 ? blocks : (size + 511) / 512;
    return m;
}

FileMetadata& FakeFileSystem::symlink(const std::string& p) { return add(p, S_IFLNK | 0777, 1); }

std::string FakeFileSystem::pathOf(int handle) const {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    return it == handles_.end() ? std::string() : it->second.path;
}

int FakeFileSystem::openDirectory(const std::string& p) const {
    auto it = items_.find(p);
    if (it == items_.end()) return -ENOENT;
    if (!it->second.metadata.isDirectory()) return -ENOTDIR;
    if (it->second.openError) return -it->second.openError;
    std::lock_guard lock(mutex_);
    handles_[nextHandle_] = Handle{p, std::make_shared<std::size_t>(0)};
    return nextHandle_++;
}

int FakeFileSystem::openDirectoryAt(int directory, const char* name) const {
    return openDirectory(path::join(pathOf(directory), name));
}

int FakeFileSystem::readNames(int directory, std::string& names) const {
    for (bool atEnd = false; !atEnd;) readMoreNames(directory, names, atEnd);
    return 0;
}

int FakeFileSystem::readMoreNames(int directory, std::string& names, bool& atEnd) const {
    std::shared_ptr<std::size_t> position;
    std::string path;
    {
        std::lock_guard lock(mutex_);
        const Handle& h = handles_.at(directory);
        position = h.position;
        path = h.path;
    }
    const Item& item = items_.at(path);
    std::lock_guard lock(mutex_);
    const std::size_t end = std::min(item.names.size(), *position + std::max<std::size_t>(namesPerRead, 1));
    for (std::size_t i = *position; i < end; ++i) names.append(item.names[i].c_str(), item.names[i].size() + 1);
    namesRead_ += end - *position;
    atEnd = end == *position;  // as getdents: an empty read tells the end
    *position = end;
    return 0;
}

int FakeFileSystem::duplicate(int directory) const {
    std::lock_guard lock(mutex_);
    handles_[nextHandle_] = handles_.at(directory);
    return nextHandle_++;
}

int FakeFileSystem::statAt(int directory, const char* name, FileMetadata& out) const {
    return statPath(path::join(pathOf(directory), name), out);
}

int FakeFileSystem::statPath(const std::string& p, FileMetadata& out) const {
    ++stats_;
    auto it = items_.find(p);
    if (it == items_.end()) return ENOENT;
    if (it->second.statError) return it->second.statError;
    out = it->second.metadata;
    return 0;
}

void FakeFileSystem::closeDirectory(int directory) const {
    std::lock_guard lock(mutex_);
    handles_.erase(directory);
}

std::size_t FakeFileSystem::openHandles() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
}

// MARK: - FaultyReader

std::string FaultyReader::pathOf(int handle) const {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    return it == handles_.end() ? std::string() : it->second;
}

int FaultyReader::openDirectory(const std::string& p) const {
    if (failOpen)
        if (int error = failOpen(p)) return -error;
    int handle = inner_.openDirectory(p);
    if (handle >= 0) {
        std::lock_guard lock(mutex_);
        handles_[handle] = p;
    }
    return handle;
}

int FaultyReader::openDirectoryAt(int directory, const char* name) const {
    const std::string p = path::join(pathOf(directory), name);
    if (failOpen)
        if (int error = failOpen(p)) return -error;
    int handle = inner_.openDirectoryAt(directory, name);
    if (handle >= 0) {
        std::lock_guard lock(mutex_);
        handles_[handle] = p;
    }
    return handle;
}

int FaultyReader::readNames(int directory, std::string& names) const {
    int error = inner_.readNames(directory, names);
    if (error == 0 && failRead) error = failRead(pathOf(directory));
    return error;
}

int FaultyReader::readMoreNames(int directory, std::string& names, bool& atEnd) const {
    int error = inner_.readMoreNames(directory, names, atEnd);
    if (error == 0 && atEnd && failRead) error = failRead(pathOf(directory));
    return error;
}

int FaultyReader::duplicate(int directory) const {
    int handle = inner_.duplicate(directory);
    if (handle >= 0) {
        std::lock_guard lock(mutex_);
        handles_[handle] = handles_[directory];
    }
    return handle;
}

int FaultyReader::statAt(int directory, const char* name, FileMetadata& out) const {
    if (failStat)
        if (int error = failStat(path::join(pathOf(directory), name))) return error;
    return inner_.statAt(directory, name, out);
}

int FaultyReader::statPath(const std::string& p, FileMetadata& out) const {
    if (failStat)
        if (int error = failStat(p)) return error;
    return inner_.statPath(p, out);
}

void FaultyReader::closeDirectory(int directory) const {
    {
        std::lock_guard lock(mutex_);
        handles_.erase(directory);
    }
    inner_.closeDirectory(directory);
}

} // namespace morvo::testing
