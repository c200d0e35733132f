#include "MorvoCore/DeveloperCacheLocations.h"

#include <gtest/gtest.h>

#include <set>
#include <unistd.h>

using namespace morvo;

TEST(CleanupArea, RawValuesTitlesAndPaths) {
    ASSERT_EQ(allCleanupAreas.size(), 3u);
    EXPECT_EQ(allCleanupAreas[0], CleanupArea::caches);
    EXPECT_EQ(allCleanupAreas[2], CleanupArea::developer);
    for (CleanupArea area : allCleanupAreas) EXPECT_EQ(cleanupAreaFromRawValue(rawValue(area)), area);
    EXPECT_FALSE(cleanupAreaFromRawValue("Caches").has_value());
    EXPECT_FALSE(cleanupAreaFromRawValue("").has_value());
    EXPECT_EQ(cleanupAreaFromRawValue("developer"), CleanupArea::developer);
    EXPECT_EQ(title(CleanupArea::logs), "Logs");
    EXPECT_EQ(relativePath(CleanupArea::caches), "Library/Caches");
    EXPECT_EQ(relativePath(CleanupArea::developer), "Library/Developer/Xcode/DerivedData");
}

TEST(CleanupArea, LocationIsAnAbsoluteDirectoryUnderHome) {
    Url url = location(CleanupArea::developer, Url::file("/Users/a", true));
    EXPECT_EQ(url.path, "/Users/a/Library/Developer/Xcode/DerivedData");
    EXPECT_TRUE(url.isDirectory);
    EXPECT_TRUE(url.isFileURL());

    Url relative{"file", "", "someone", true};
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::string base = std::string(cwd) == "/" ? "" : cwd;
    EXPECT_EQ(location(CleanupArea::logs, relative).path, base + "/someone/Library/Logs");
}

TEST(DeveloperCacheCleanupPolicy, RawValues) {
    EXPECT_EQ(developerCacheCleanupPolicyFromRawValue("vendorManaged"), DeveloperCacheCleanupPolicy::vendorManaged);
    EXPECT_EQ(developerCacheCleanupPolicyFromRawValue("reviewAndTrash"), DeveloperCacheCleanupPolicy::reviewAndTrash);
    EXPECT_FALSE(developerCacheCleanupPolicyFromRawValue("VendorManaged").has_value());
    EXPECT_FALSE(developerCacheCleanupPolicyFromRawValue("").has_value());
}

TEST(DeveloperCacheLocations, TableRowsInOrder) {
    struct Row {
        const char* id;
        const char* title;
        const char* relativeHomePath;
        bool vendorManaged;
        const char* documentationPath;
    };
    const Row expected[] = {
        {"npm-package-cache", "npm package cache", ".npm/_cacache", false, "/cli/cache/"},
        {"gradle-caches", "Gradle caches", ".gradle/caches", false, "/current/userguide/directory_layout.html"},
        {"cargo-crate-cache", "Cargo crate downloads", ".cargo/registry/cache", false, "/cargo/guide/cargo-home.html"},
        {"kubernetes-discovery-cache", "Kubernetes discovery cache", ".kube/cache/discovery", false,
         "/kubernetes/cli-runtime/blob/master/pkg/genericclioptions/config_flags.go"},
        {"kubernetes-http-cache", "Kubernetes HTTP cache", ".kube/cache/http", false,
         "/kubernetes/cli-runtime/blob/master/pkg/genericclioptions/config_flags.go"},
        {"minikube-resource-cache", "minikube cached resources", ".minikube/cache", true, "/docs/handbook/offline/"},
        {"xcode-derived-data", "Xcode Derived Data", "Library/Developer/Xcode/DerivedData", false,
         "/documentation/xcode-release-notes/xcode-26-release-notes"},
        {"docker-desktop-logs", "Docker Desktop logs", "Library/Containers/com.docker.docker/Data/log", true,
         "/engine/daemon/logs/"},
        {"uv-cache", "uv package cache", ".cache/uv", true, "/uv/concepts/cache/"},
    };
    const auto& all = DeveloperCacheLocations::all();
    ASSERT_EQ(all.size(), std::size(expected));
    std::set<std::string> ids;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const DeveloperCacheLocation& row = all[i];
        SCOPED_TRACE(row.id);
        EXPECT_EQ(row.id, expected[i].id);
        EXPECT_EQ(row.title, expected[i].title);
        EXPECT_EQ(row.relativeHomePath, expected[i].relativeHomePath);
        EXPECT_EQ(row.cleanupPolicy == DeveloperCacheCleanupPolicy::vendorManaged, expected[i].vendorManaged);
        EXPECT_EQ(row.documentationURL.scheme, "https");
        EXPECT_FALSE(row.documentationURL.host.empty());
        EXPECT_EQ(row.documentationURL.path, expected[i].documentationPath);
        EXPECT_FALSE(row.note.empty());
        EXPECT_EQ(row.note.find("\u2019"), std::string::npos) << "notes use straight apostrophes";
        ids.insert(row.id);
    }
    EXPECT_EQ(ids.size(), all.size());
    EXPECT_EQ(all[3].documentationURL, all[4].documentationURL);
    EXPECT_NE(all[3].note.find("kubectl's"), std::string::npos);
    EXPECT_EQ(all[8].note,
              "uv requires its own cache-cleanup commands to coordinate with running processes. Use uv cache clean "
              "or uv cache prune after reviewing their effects; Morvo does not manually move this cache to Trash.");
    // Only the Xcode row shares its path with an area.
    for (const auto& row : all)
        EXPECT_EQ(row.relativeHomePath == relativePath(CleanupArea::developer), row.id == "xcode-derived-data");
}
