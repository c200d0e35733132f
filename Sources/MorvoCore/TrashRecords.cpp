#include "MorvoCore/TrashRecords.h"

#include <cmath>

namespace morvo {

TrashPolicy::TrashPolicy(std::vector<Url> allowedRoots, std::int64_t maxItems, double previewLifetime,
                         Url homeDirectory)
    : allowedRoots_(std::move(allowedRoots)),
      maxItems_(maxItems < 1 ? 1 : maxItems),
      previewLifetime_(std::isnan(previewLifetime) || previewLifetime < 1.0 ? 1.0 : previewLifetime),
      homeDirectory_(std::move(homeDirectory)) {}

std::string TrashMetadata::signature() const {
    std::string out;
    out.reserve(96);
    auto add = [&](auto value) {
        if (!out.empty()) out.push_back(':');
        out += std::to_string(value);
    };
    add(device);
    add(inode);
    add(static_cast<unsigned>(mode));
    add(size);
    add(links);
    add(modifiedSeconds);
    add(modifiedNanos);
    add(changedSeconds);
    add(changedNanos);
    add(bornSeconds);
    add(bornNanos);
    add(blocks);
    return out;
}

std::string_view rawValue(TrashItemStatus status) {
    switch (status) {
    case TrashItemStatus::moved: return "moved";
    case TrashItemStatus::failed: return "failed";
    case TrashItemStatus::skipped: return "skipped";
    }
    return "skipped";
}

std::optional<TrashItemStatus> trashItemStatusFromRawValue(std::string_view raw) {
    if (raw == "moved") return TrashItemStatus::moved;
    if (raw == "failed") return TrashItemStatus::failed;
    if (raw == "skipped") return TrashItemStatus::skipped;
    return std::nullopt;
}

} // namespace morvo
