#pragma once
// Directory readers for tests: an invented in-memory tree (any path, device or inode, "/"
// included), and a wrapper over another reader that fails chosen calls.

#include "MorvoCore/Platform/DirectoryReader.h"

#include <atomic>
#include <functional>
#include <memory>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace morvo::testing {

// A made-up tree. Folders list their entries in the order they were added, `namesPerRead` at a
// time; it counts the names it handed out and the lstat calls it answered.
class FakeFileSystem final : public DirectoryReader {
public:
    struct Item {
        FileMetadata metadata;
        std::vector<std::string> names;  // folders: entries in listing order
        int openError = 0;               // folders: errno that opening reports
        int statError = 0;               // errno that lstat reports
    };

    FakeFileSystem();  // holds "/" as an empty folder on device 1
    // Adds an item below an existing folder; returns its metadata for further changes.
    FileMetadata& folder(const std::string& path, std::uint64_t device = 1);
    FileMetadata& file(const std::string& path, std::int64_t size, std::int64_t blocks = -1, std::uint64_t device = 1);
    FileMetadata& symlink(const std::string& path);
    Item& item(const std::string& path) { return items_.at(path); }

    int openDirectory(const std::string& path) const override;
    int openDirectoryAt(int directory, const char* name) const override;
    int readNames(int directory, std::string& names) const override;
    int readMoreNames(int directory, std::string& names, bool& atEnd) const override;
    int duplicate(int directory) const override;
    int statAt(int directory, const char* name, FileMetadata& out) const override;
    int statPath(const std::string& path, FileMetadata& out) const override;
    void closeDirectory(int directory) const override;

    std::size_t namesPerRead = 16;
    // Handles not closed yet.
    std::size_t openHandles() const;
    std::size_t namesRead() const { return namesRead_; }
    std::size_t stats() const { return stats_; }

private:
    struct Handle {
        std::string path;
        std::shared_ptr<std::size_t> position;  // shared by duplicates
    };
    FileMetadata& add(const std::string& path, std::uint32_t mode, std::uint64_t device);
    std::string pathOf(int handle) const;
    std::map<std::string, Item> items_;
    std::uint64_t nextInode_ = 2;
    mutable std::mutex mutex_;
    mutable std::map<int, Handle> handles_;
    mutable int nextHandle_ = 3;
    mutable std::atomic<std::size_t> namesRead_{0};
    mutable std::atomic<std::size_t> stats_{0};
};

// Forwards to `inner`, except where a hook returns an errno other than 0. Hooks get absolute
// paths and may be called from several threads at once.
class FaultyReader final : public DirectoryReader {
public:
    explicit FaultyReader(const DirectoryReader& inner) : inner_(inner) {}
    std::function<int(const std::string& path)> failOpen;
    std::function<int(const std::string& path)> failStat;
    std::function<int(const std::string& path)> failRead;  // after all names were read

    int openDirectory(const std::string& path) const override;
    int openDirectoryAt(int directory, const char* name) const override;
    int readNames(int directory, std::string& names) const override;
    int readMoreNames(int directory, std::string& names, bool& atEnd) const override;
    int duplicate(int directory) const override;
    int statAt(int directory, const char* name, FileMetadata& out) const override;
    int statPath(const std::string& path, FileMetadata& out) const override;
    void closeDirectory(int directory) const override;

private:
    std::string pathOf(int handle) const;
    const DirectoryReader& inner_;
    mutable std::mutex mutex_;
    mutable std::map<int, std::string> handles_;
};

} // namespace morvo::testing
