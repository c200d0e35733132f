#include "Morvo/Storage/StorageMapEntry.h"

#include "Morvo/Platform/ByteCountFormatter.h"
#include "MorvoCore/Platform/Text.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>

namespace morvo {

namespace {

// Valid UTF-8 of code points below U+0300 only: no such text changes when composed (none of them
// composes with another or decomposes), so it serves as its own folded key.
bool isOwnComposedForm(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) continue;
        if (c < 0xC2 || c > 0xCB) return false;
        if (++i == s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return false;
    }
    return true;
}

std::string composed(std::string_view s) {
    const QByteArray bytes = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()))
                                 .normalized(QString::NormalizationForm_C)
                                 .toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Puts the kept nodes in the rule's order, as far as the entries need it: the first `own` in
// order, the rest in any order. Ties on size compare the texts' composed forms, then their bytes;
// each text is composed at most once, and only when it meets a tie.
class Ranking {
public:
    // `text(i)`: the text that orders kept node i among equals (its id, or, among the children of
    // one folder, its name: their ids share everything before the name).
    Ranking(std::vector<std::int64_t> sizes, std::function<std::string_view(std::size_t)> text)
        : sizes_(std::move(sizes)), text_(std::move(text)), keySlot_(sizes_.size(), kUnset) {}

    std::vector<std::size_t> order(std::size_t own) {
        std::vector<std::size_t> order(sizes_.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        auto less = [this](std::size_t a, std::size_t b) { return this->less(a, b); };
        if (own >= order.size()) std::sort(order.begin(), order.end(), less);
        else if (own > 0) std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(own), order.end(), less);
        return order;
    }
    // The rest of `order` past `own` in the rule's order too.
    void sortRest(std::vector<std::size_t>& order, std::size_t own) {
        std::sort(order.begin() + static_cast<std::ptrdiff_t>(own), order.end(),
                  [this](std::size_t a, std::size_t b) { return less(a, b); });
    }

private:
    static constexpr std::uint32_t kUnset = UINT32_MAX, kOwn = UINT32_MAX - 1;

    bool less(std::size_t a, std::size_t b) {
        if (sizes_[a] != sizes_[b]) return sizes_[a] > sizes_[b];
        const int order = key(a).compare(key(b));  // UTF-8 byte order is code point order
        if (order != 0) return order < 0;
        return text_(a) < text_(b);
    }
    std::string_view key(std::size_t i) {
        std::uint32_t& slot = keySlot_[i];
        if (slot == kUnset) {
            const std::string_view text = text_(i);
            if (isOwnComposedForm(text)) {
                slot = kOwn;
            } else {
                slot = static_cast<std::uint32_t>(keys_.size());
                keys_.push_back(composed(text));
            }
        }
        return slot == kOwn ? text_(i) : std::string_view(keys_[slot]);
    }

    std::vector<std::int64_t> sizes_;
    std::function<std::string_view(std::size_t)> text_;
    std::vector<std::uint32_t> keySlot_;
    std::deque<std::string> keys_;
};

// The number of own entries for n kept nodes.
std::size_t ownEntries(std::size_t n, int limit) {
    if (n <= static_cast<std::size_t>(std::max(limit, 0))) return n;
    return limit > 1 ? static_cast<std::size_t>(limit - 1) : 0;
}

// The group's bytes: the remaining sizes as doubles, added in the rule's order. While every partial
// sum is an integer of at most 2^53 each addition is exact and the order cannot matter; only past
// that are the remaining nodes put in order first.
double groupBytes(Ranking& ranking, std::vector<std::size_t>& order, std::size_t own,
                  const std::vector<std::int64_t>& sizes) {
    constexpr std::int64_t exact = std::int64_t{1} << 53;
    std::int64_t total = 0;
    bool isExact = true;
    for (std::size_t k = own; k < order.size() && isExact; ++k) {
        const std::int64_t size = sizes[order[k]];
        isExact = size <= exact - total;
        total += isExact ? size : 0;
    }
    if (isExact) return static_cast<double>(total);
    ranking.sortRest(order, own);
    double bytes = 0;
    for (std::size_t k = own; k < order.size(); ++k) bytes += static_cast<double>(sizes[order[k]]);
    return bytes;
}

StorageMapEntry groupEntry(std::size_t count, double bytes, const std::string& groupID) {
    StorageMapEntry group;
    const auto m = static_cast<std::int64_t>(count);
    group.id = groupID;
    group.name = text::formatInteger(m) + " smaller items";
    group.bytes = bytes;
    group.category = FileCategory::other;
    group.isDirectory = false;
    group.itemCount = m;
    return group;
}

} // namespace

bool storageMapIDLess(std::string_view a, std::string_view b) {
    const std::string ca = isOwnComposedForm(a) ? std::string(a) : composed(a);
    const std::string cb = isOwnComposedForm(b) ? std::string(b) : composed(b);
    // UTF-8 byte order is code point order.
    const int order = ca.compare(cb);
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
    std::vector<const DiskNode*> kept;
    std::vector<std::int64_t> sizes;
    for (const DiskNode& node : from)
        if (node.logicalSize > 0) {
            kept.push_back(&node);
            sizes.push_back(node.logicalSize);
        }
    const std::size_t own = ownEntries(kept.size(), limit);
    Ranking ranking(sizes, [&](std::size_t i) { return std::string_view(kept[i]->id); });
    std::vector<std::size_t> order = ranking.order(own);

    std::vector<StorageMapEntry> entries;
    entries.reserve(own + 1);
    for (std::size_t k = 0; k < own; ++k) {
        const DiskNode& node = *kept[order[k]];
        entries.push_back({node.id, node.id, node.name, static_cast<double>(node.logicalSize), node.category,
                           node.isDirectory, node.fileCount});
    }
    if (own < kept.size()) entries.push_back(groupEntry(kept.size() - own, groupBytes(ranking, order, own, sizes), groupID));
    return entries;
}

std::vector<StorageMapEntry> StorageMapEntry::make(const DiskSnapshot& snapshot,
                                                   std::span<const DiskSnapshot::Index> nodes, int limit,
                                                   const std::string& groupID) {
    std::vector<DiskSnapshot::Index> kept;
    std::vector<std::int64_t> sizes;
    for (DiskSnapshot::Index i : nodes)
        if (const std::int64_t size = snapshot.logicalSize(i); size > 0) {
            kept.push_back(i);
            sizes.push_back(size);
        }
    // Children of one folder are told apart by their names; other nodes by their whole ids,
    // spelled out once into one buffer.
    const bool siblings = std::all_of(kept.begin(), kept.end(), [&](DiskSnapshot::Index i) {
        return snapshot.parent(i).has_value() && snapshot.parent(i) == snapshot.parent(kept.front());
    });
    std::string paths;
    std::vector<std::size_t> pathStarts;
    if (!siblings) {
        std::size_t bytes = 0;
        for (DiskSnapshot::Index i : kept) bytes += snapshot.pathLength(i);
        paths.reserve(bytes);
        for (DiskSnapshot::Index i : kept) {
            pathStarts.push_back(paths.size());
            snapshot.appendPath(i, paths);
        }
        pathStarts.push_back(paths.size());
    }
    const std::size_t own = ownEntries(kept.size(), limit);
    Ranking ranking(sizes, [&](std::size_t k) {
        if (siblings) return snapshot.name(kept[k]);
        return std::string_view(paths).substr(pathStarts[k], pathStarts[k + 1] - pathStarts[k]);
    });
    std::vector<std::size_t> order = ranking.order(own);

    std::vector<StorageMapEntry> entries;
    entries.reserve(own + 1);
    for (std::size_t k = 0; k < own; ++k) {
        const DiskSnapshot::Index i = kept[order[k]];
        std::string id = snapshot.path(i);
        entries.push_back({id, id, std::string(snapshot.name(i)), static_cast<double>(sizes[order[k]]),
                           snapshot.category(i), snapshot.isDirectory(i), snapshot.fileCount(i)});
    }
    if (own < kept.size()) entries.push_back(groupEntry(kept.size() - own, groupBytes(ranking, order, own, sizes), groupID));
    return entries;
}

} // namespace morvo
