#include "Morvo/StorageMapEntry.h"

#include "Morvo/Platform/ByteCountFormatter.h"
#include "MorvoCore/Platform/Text.h"

#include <algorithm>
#include <cmath>

namespace morvo {

namespace {

// What the entry rule needs of a node, read without copying the node.
struct Candidate {
    std::string_view id;
    std::string_view name;
    std::int64_t size = 0;
    FileCategory category = FileCategory::other;
    bool isDirectory = false;
    std::int64_t fileCount = 0;
};

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QByteArray composed(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()))
        .normalized(QString::NormalizationForm_C)
        .toUtf8();
}

std::vector<StorageMapEntry> entriesFrom(std::vector<Candidate> kept, int limit, const std::string& groupID) {
    std::sort(kept.begin(), kept.end(), [](const Candidate& a, const Candidate& b) {
        if (a.size != b.size) return a.size > b.size;
        return storageMapIDLess(a.id, b.id);
    });

    const std::size_t n = kept.size();
    std::size_t own = n;
    if (n > static_cast<std::size_t>(std::max(limit, 0))) own = limit > 1 ? static_cast<std::size_t>(limit - 1) : 0;

    std::vector<StorageMapEntry> entries;
    entries.reserve(own + (own < n ? 1 : 0));
    for (std::size_t i = 0; i < own; ++i) {
        const Candidate& c = kept[i];
        StorageMapEntry e;
        e.id = std::string(c.id);
        e.nodeID = e.id;
        e.name = std::string(c.name);
        e.bytes = static_cast<double>(c.size);
        e.category = c.category;
        e.isDirectory = c.isDirectory;
        e.itemCount = c.fileCount;
        entries.push_back(std::move(e));
    }
    if (own < n) {
        StorageMapEntry group;
        const auto m = static_cast<std::int64_t>(n - own);
        group.id = groupID;
        group.name = text::formatInteger(m) + " smaller items";
        for (std::size_t i = own; i < n; ++i) group.bytes += static_cast<double>(kept[i].size);
        group.category = FileCategory::other;
        group.isDirectory = false;
        group.itemCount = m;
        entries.push_back(std::move(group));
    }
    return entries;
}

} // namespace

bool storageMapIDLess(std::string_view a, std::string_view b) {
    if (isAscii(a) && isAscii(b)) return a < b;
    const QByteArray ca = composed(a), cb = composed(b);
    // UTF-8 byte order is code point order.
    const int order = std::string_view(ca.constData(), ca.size()).compare(std::string_view(cb.constData(), cb.size()));
    if (order != 0) return order < 0;
    return a < b;
}

std::int64_t StorageMapEntry::byteCount(double bytes) {
    constexpr double largest = 9223372036854773760.0;  // the largest double below 2^63
    if (std::isnan(bytes)) return 0;
    return static_cast<std::int64_t>(std::trunc(std::clamp(bytes, -largest, largest)));
}

QString StorageMapEntry::sizeLabel() const { return formatByteCount(byteCount(bytes)); }

std::vector<StorageMapEntry> StorageMapEntry::make(const std::vector<DiskNode>& from, int limit,
                                                   const std::string& groupID) {
    std::vector<Candidate> kept;
    kept.reserve(from.size());
    for (const DiskNode& node : from) {
        if (node.logicalSize <= 0) continue;
        kept.push_back({node.id, node.name, node.logicalSize, node.category, node.isDirectory, node.fileCount});
    }
    return entriesFrom(std::move(kept), limit, groupID);
}

std::vector<StorageMapEntry> StorageMapEntry::make(const DiskSnapshot& snapshot,
                                                   std::span<const DiskSnapshot::Index> nodes, int limit,
                                                   const std::string& groupID) {
    // The snapshot spells paths out on request: they are written once into one buffer, sized
    // first so that the candidates' views into it stay put.
    std::size_t bytes = 0;
    for (DiskSnapshot::Index i : nodes)
        if (snapshot.logicalSize(i) > 0) bytes += snapshot.pathLength(i);
    std::string paths;
    paths.reserve(bytes);
    std::vector<Candidate> kept;
    kept.reserve(nodes.size());
    for (DiskSnapshot::Index i : nodes) {
        const std::int64_t size = snapshot.logicalSize(i);
        if (size <= 0) continue;
        const std::size_t start = paths.size();
        snapshot.appendPath(i, paths);
        kept.push_back({std::string_view(paths).substr(start), snapshot.name(i), size, snapshot.category(i),
                        snapshot.isDirectory(i), snapshot.fileCount(i)});
    }
    return entriesFrom(std::move(kept), limit, groupID);
}

} // namespace morvo
