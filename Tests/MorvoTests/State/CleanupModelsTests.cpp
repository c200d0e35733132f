#include "Morvo/State/CleanupModels.h"

#include <gtest/gtest.h>

using namespace morvo;

namespace {

const std::string home = "/Users/ann";

std::vector<std::string> paths(const std::vector<Url>& urls) {
    std::vector<std::string> out;
    for (const auto& url : urls) out.push_back(url.path);
    return out;
}

} // namespace

TEST(CleanupOutcomeStatus, RawValuesRoundTripAndAreCaseSensitive) {
    for (auto status : allCleanupOutcomeStatuses) EXPECT_EQ(cleanupOutcomeStatusFromRawValue(rawValue(status)), status);
    EXPECT_EQ(rawValue(CleanupOutcomeStatus::moved), "moved");
    EXPECT_EQ(cleanupOutcomeStatusFromRawValue("Moved"), std::nullopt);
    EXPECT_EQ(cleanupOutcomeStatusFromRawValue(""), std::nullopt);
}

TEST(CleanupAppDataPaths, UrlsListTheDataFoldersInOrder) {
    EXPECT_EQ(paths(CleanupAppDataPaths::urls("com.example.app", home)),
              (std::vector<std::string>{
                  "/Users/ann/Library/Caches/com.example.app",
                  "/Users/ann/Library/Preferences/com.example.app.plist",
                  "/Users/ann/Library/Application Support/com.example.app",
                  "/Users/ann/Library/Containers/com.example.app",
                  "/Users/ann/Library/Logs/com.example.app",
                  "/Users/ann/Library/Saved Application State/com.example.app.savedState",
                  "/Users/ann/Library/WebKit/com.example.app",
                  "/Users/ann/Library/HTTPStorages/com.example.app",
              }));
    auto xcode = CleanupAppDataPaths::urls("COM.APPLE.DT.XCODE", home);
    ASSERT_EQ(xcode.size(), 9u);
    EXPECT_EQ(xcode.back().path, "/Users/ann/Library/Developer/Xcode/DerivedData");
    for (const char* unsafe : {"", ".", "..", "com.example/evil", "/"})
        EXPECT_TRUE(CleanupAppDataPaths::urls(unsafe, home).empty()) << unsafe;
}

TEST(CleanupAppDataPaths, OwnerOfDataItems) {
    struct Case {
        const char* path;
        std::optional<std::string> owner;
    };
    const Case cases[] = {
        {"/Users/ann/Library/Preferences/com.example.app.plist", "com.example.app"},
        {"/Users/ann/Library/Preferences/com.example.app.PLIST", "com.example.app"},
        {"/Users/ann/Library/Preferences/com.example.app", std::nullopt},
        {"/Users/ann/Library/Preferences/.plist", std::nullopt},
        {"/Users/ann/Library/Saved Application State/com.example.app.savedState", "com.example.app"},
        {"/Users/ann/Library/Caches/anything at all/deeper/file", "anything at all"},
        {"/Users/ann/Library/Caches", std::nullopt},
        {"/Users/ann/library/CACHES/com.example.app", "com.example.app"},
        {"/Users/ann/Library/Containers/com.example.app/Data", "com.example.app"},
        {"/Users/ann/Library/Developer/Xcode/DerivedData/Project", std::nullopt},
        {"/Users/ann/Documents/com.example.app", std::nullopt},
        {"/Users/annb/Library/Caches/com.example.app", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(CleanupAppDataPaths::owner(Url::file(c.path), home), c.owner) << c.path;
}

// A Library folder whose name changes length when lower-cased: the name below it must be cut
// from the original path where the matched folder ends, not at the lower-cased length.
TEST(CleanupAppDataPaths, OwnerCutsAtTheOriginalPrefixWhenLowercasingChangesLength) {
    const std::string oddHome = "/Users/\xC4\xB0nci";  // "İnci": İ lower-cases to two code points
    auto owner = CleanupAppDataPaths::owner(Url::file("/Users/\xC4\xB0nci/Library/Caches/com.example.app/x"), oddHome);
    EXPECT_EQ(owner, "com.example.app");
}

TEST(CleanupAppDataPaths, ContainsLocationsAndTheirContentsIgnoringCase) {
    EXPECT_TRUE(CleanupAppDataPaths::contains(Url::file("/Users/ann/Library/Caches/com.example.app"), "com.example.app", home));
    EXPECT_TRUE(CleanupAppDataPaths::contains(Url::file("/Users/ann/library/caches/COM.EXAMPLE.APP/blob"), "com.example.app", home));
    EXPECT_TRUE(CleanupAppDataPaths::contains(Url::file("/Users/ann/Library/Preferences/com.example.app.plist"), "com.example.app", home));
    EXPECT_FALSE(CleanupAppDataPaths::contains(Url::file("/Users/ann/Library/Caches/com.example.application"), "com.example.app", home));
    EXPECT_FALSE(CleanupAppDataPaths::contains(Url::file("/Users/ann/Library/Caches"), "com.example.app", home));
    EXPECT_FALSE(CleanupAppDataPaths::contains(Url::file("/Users/ann/Library/Caches/x"), "", home));
}
