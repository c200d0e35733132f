#include "MorvoCore/DeveloperCacheLocations.h"

#include "MorvoCore/Platform/Path.h"

namespace morvo {

namespace {

constexpr std::array<std::string_view, 3> areaRawValues = {"caches", "logs", "developer"};
constexpr std::array<std::string_view, 3> areaTitles = {"Caches", "Logs", "Developer"};
constexpr std::array<std::string_view, 3> areaRelativePaths = {"Library/Caches", "Library/Logs",
                                                               "Library/Developer/Xcode/DerivedData"};
constexpr std::array<std::string_view, 2> policyRawValues = {"reviewAndTrash", "vendorManaged"};

std::size_t index(CleanupArea area) { return static_cast<std::size_t>(area); }

DeveloperCacheLocation row(const char* id, const char* title, const char* relativeHomePath, const char* note,
                           DeveloperCacheCleanupPolicy policy, const char* documentation) {
    return DeveloperCacheLocation{id, title, relativeHomePath, note, policy, Url::parse(documentation)};
}

std::vector<DeveloperCacheLocation> makeTable() {
    using P = DeveloperCacheCleanupPolicy;
    constexpr const char* kubectlSource =
        "https://github.com/kubernetes/cli-runtime/blob/master/pkg/genericclioptions/config_flags.go";
    return {
        row("npm-package-cache", "npm package cache", ".npm/_cacache",
            "Downloaded npm package data. Stop npm tasks before cleanup; subsequent installs may need to "
            "download packages again. This location can be customized in npm.",
            P::reviewAndTrash, "https://docs.npmjs.com/cli/cache/"),
        row("gradle-caches", "Gradle caches", ".gradle/caches",
            "Build caches and downloaded dependencies. Stop Gradle builds and daemons before cleanup. Later "
            "builds may need downloads, and offline builds can be affected. Gradle also provides its own "
            "cache-retention controls.",
            P::reviewAndTrash, "https://docs.gradle.org/current/userguide/directory_layout.html"),
        row("cargo-crate-cache", "Cargo crate downloads", ".cargo/registry/cache",
            "Downloaded crate archives used by Rust builds. Stop Cargo jobs before cleanup; subsequent builds "
            "may require network access to fetch dependencies again.",
            P::reviewAndTrash, "https://doc.rust-lang.org/cargo/guide/cargo-home.html"),
        row("kubernetes-discovery-cache", "Kubernetes discovery cache", ".kube/cache/discovery",
            "kubectl's cached API discovery information. Stop Kubernetes client operations before cleanup; "
            "future discovery requires contacting the cluster. Configurations and authentication-token "
            "caches are excluded.",
            P::reviewAndTrash, kubectlSource),
        row("kubernetes-http-cache", "Kubernetes HTTP cache", ".kube/cache/http",
            "kubectl's cached HTTP responses. Stop Kubernetes client operations before cleanup; future "
            "requests may need network access. Configurations and authentication-token caches are excluded.",
            P::reviewAndTrash, kubectlSource),
        row("minikube-resource-cache", "minikube cached resources", ".minikube/cache",
            "Cached VM resources and images, including images explicitly added by the user. These can be "
            "needed for offline starts. Review them with minikube's cache commands; Morvo does not move this "
            "directory to Trash.",
            P::vendorManaged, "https://minikube.sigs.k8s.io/docs/handbook/offline/"),
        row("xcode-derived-data", "Xcode Derived Data", "Library/Developer/Xcode/DerivedData",
            "Generated build and index data, plus local build and test results. Quit Xcode and build jobs "
            "before cleanup. Keep any results or artifacts you need; later builds will rebuild generated data.",
            P::reviewAndTrash,
            "https://developer.apple.com/documentation/xcode-release-notes/xcode-26-release-notes"),
        row("docker-desktop-logs", "Docker Desktop logs", "Library/Containers/com.docker.docker/Data/log",
            "Docker Desktop diagnostic logs. Review or manage them through Docker Desktop; Morvo only measures "
            "this protected location. Docker disk images, containers and volumes are excluded from these "
            "cleanup suggestions.",
            P::vendorManaged, "https://docs.docker.com/engine/daemon/logs/"),
        row("uv-cache", "uv package cache", ".cache/uv",
            "uv requires its own cache-cleanup commands to coordinate with running processes. Use uv cache "
            "clean or uv cache prune after reviewing their effects; Morvo does not manually move this cache "
            "to Trash.",
            P::vendorManaged, "https://docs.astral.sh/uv/concepts/cache/"),
    };
}

} // namespace

std::string_view rawValue(CleanupArea area) { return areaRawValues[index(area)]; }

std::optional<CleanupArea> cleanupAreaFromRawValue(std::string_view raw) {
    for (CleanupArea area : allCleanupAreas)
        if (rawValue(area) == raw) return area;
    return std::nullopt;
}

std::string_view title(CleanupArea area) { return areaTitles[index(area)]; }

std::string_view relativePath(CleanupArea area) { return areaRelativePaths[index(area)]; }

Url location(CleanupArea area, const Url& home) {
    Url base = home;
    base.path = path::absolute(home.path);
    return base.appending(relativePath(area), true);
}

std::string_view rawValue(DeveloperCacheCleanupPolicy policy) {
    return policyRawValues[static_cast<std::size_t>(policy)];
}

std::optional<DeveloperCacheCleanupPolicy> developerCacheCleanupPolicyFromRawValue(std::string_view raw) {
    for (auto policy : {DeveloperCacheCleanupPolicy::reviewAndTrash, DeveloperCacheCleanupPolicy::vendorManaged})
        if (rawValue(policy) == raw) return policy;
    return std::nullopt;
}

namespace DeveloperCacheLocations {

const std::vector<DeveloperCacheLocation>& all() {
    // A function-local static is initialised exactly once, even under concurrent first use.
    static const std::vector<DeveloperCacheLocation> table = makeTable();
    return table;
}

} // namespace DeveloperCacheLocations

} // namespace morvo
