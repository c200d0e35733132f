#include "MorvoCore/Platform/DirectoryEnumerator.h"

#include "MorvoCore/Platform/DirectoryReader.h"
#include "MorvoCore/Platform/Path.h"

#include <cstring>
#include <vector>

namespace morvo {

namespace {

// Depth-first over open folders: one descriptor per level of the current path, each folder's
// names read a batch at a time as they are yielded, so that a walk that stops early has read
// little of a large folder. A folder below the start is opened before it is yielded, so that one
// that cannot be opened is reported and left out instead of being yielded without contents.
class WalkingEnumerator final : public DirectoryEnumerator {
public:
    WalkingEnumerator(const DirectoryReader& reader, Options options, ErrorHandler handler, std::string folder,
                      int handle)
        : reader_(reader), options_(options), handler_(std::move(handler)) {
        levels_.push_back(Level{handle, std::move(folder), {}, 0, false});
    }

    ~WalkingEnumerator() override {
        closePending();
        for (auto& level : levels_) reader_.closeDirectory(level.handle);
    }

    std::optional<Entry> next() override {
        if (ended_) return std::nullopt;
        if (pending_) {
            levels_.push_back(std::move(*pending_));
            pending_.reset();
        }
        while (!levels_.empty()) {
            Level& top = levels_.back();
            if (top.position >= top.names.size() && !top.atEnd) {
                // The next batch of names: a large folder is never held whole.
                top.names.clear();
                top.position = 0;
                int error = reader_.readMoreNames(top.handle, top.names, top.atEnd);
                if (error != 0 && !report(top.path, error)) return end();
                continue;  // `top` may have been the only level; re-check
            }
            if (top.position >= top.names.size()) {
                reader_.closeDirectory(top.handle);
                levels_.pop_back();
                continue;
            }
            const char* name = top.names.data() + top.position;
            top.position += std::strlen(name) + 1;

            Entry entry;
            entry.path = path::join(top.path, name);
            entry.level = static_cast<int>(levels_.size());
            entry.statError = reader_.statAt(top.handle, name, entry.metadata);
            if (entry.isDirectory() && options_ == Options::none) {
                int handle = reader_.openDirectoryAt(top.handle, name);
                if (handle < 0) {
                    if (!report(entry.path, -handle)) return end();
                    continue;
                }
                pending_ = Level{handle, entry.path, {}, 0, false};
            }
            level_ = entry.level;
            return entry;
        }
        ended_ = true;
        return std::nullopt;
    }

    int level() const override { return level_; }

    void skipDescendants() override { closePending(); }

private:
    struct Level {
        int handle = -1;
        std::string path;
        std::string names;  // the batch being yielded: NUL-terminated names back to back
        std::size_t position = 0;
        bool atEnd = false;  // no names left to read
    };

    bool report(const std::string& path, int error) { return !handler_ || handler_(path, PosixError(error, path)); }

    std::optional<Entry> end() {
        ended_ = true;
        closePending();
        return std::nullopt;
    }

    void closePending() {
        if (pending_) reader_.closeDirectory(pending_->handle);
        pending_.reset();
    }

    const DirectoryReader& reader_;
    Options options_;
    ErrorHandler handler_;
    std::vector<Level> levels_;
    std::optional<Level> pending_;  // the folder yielded last, entered on the next call
    int level_ = 0;
    bool ended_ = false;
};

} // namespace

std::unique_ptr<DirectoryEnumerator> makeDirectoryEnumerator(const std::string& folder,
                                                             DirectoryEnumerator::Options options,
                                                             DirectoryEnumerator::ErrorHandler errorHandler,
                                                             const DirectoryReader& reader) {
    int handle = reader.openDirectory(folder);
    if (handle < 0) return nullptr;
    return std::make_unique<WalkingEnumerator>(reader, options, std::move(errorHandler), folder, handle);
}

std::unique_ptr<DirectoryEnumerator> DirectoryEnumerator::make(const std::string& folder, Options options,
                                                               ErrorHandler errorHandler) {
    return makeDirectoryEnumerator(folder, options, std::move(errorHandler), DirectoryReader::system());
}

} // namespace morvo
