#include "MorvoCore/FileCategory.h"

#include <gtest/gtest.h>

using namespace morvo;

TEST(FileCategory, RawValuesAndNamesRoundTrip) {
    for (FileCategory c : allFileCategories) EXPECT_EQ(fileCategoryFromRawValue(rawValue(c)), c);
    EXPECT_FALSE(fileCategoryFromRawValue("Applications").has_value());
    EXPECT_EQ(displayName(FileCategory::archives), "Archives");
}

TEST(FileCategory, ClassifiesByFirstMatchingRule) {
    struct Case {
        const char* path;
        bool isDirectory;
        FileCategory expected;
    };
    const Case cases[] = {
        {"/Applications/Safari.app/Contents/Info.plist", false, FileCategory::applications},
        {"/Users/u/Downloads/Tool.APP", true, FileCategory::applications},
        {"/Users/u/Projects/node_modules/lib/readme.md", false, FileCategory::developer},
        {"/Users/u/Documents/backup.zip", false, FileCategory::archives},
        {"/Users/u/Documents/photo.JPG", false, FileCategory::media},
        {"/Users/u/Pictures/notes.txt", false, FileCategory::documents},
        {"/Users/u/Pictures/scan.xyz", false, FileCategory::media},
        {"/Users/u/Documents/data.bin", false, FileCategory::documents},
        {"/Applications", true, FileCategory::applications},
        {"/Applications/Utilities", true, FileCategory::other},
        {"/Users/u/Applications", false, FileCategory::other},
        {"/Users/u/src/.git/objects/ab/cdef", false, FileCategory::developer},
        {"/Users/u/xcode-notes.rtf", false, FileCategory::documents},
        {"/", true, FileCategory::other},
        {"/Users/u/notes", false, FileCategory::other},
        {"/Users/u/Library.photoslibrary", true, FileCategory::media},
        {"/Users/u/App.xcodeproj", true, FileCategory::developer},
        {"/Users/u/.bashrc", false, FileCategory::other},
        {"/Users/u/MÚSICA/a.mp3", false, FileCategory::media},
        // Below a developer folder only an application is told apart, in any case.
        {"/Users/u/node_modules/Helper.App", true, FileCategory::applications},
        {"/Users/u/node_modules/Helper.App/Contents/x.png", false, FileCategory::applications},
        {"/Users/u/.npm/NOTES.TXT", false, FileCategory::developer},
        {"/Users/u/.npm/app", false, FileCategory::developer},
        {"/Users/u/Downloads/Ünïcode.APP", true, FileCategory::applications},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(classify(c.path, c.isDirectory), c.expected) << c.path;
        // A walk classifies from the parent's traits and the name; it must agree with the path rule.
        std::string_view path(c.path);
        if (path == "/") continue;
        const auto slash = path.rfind('/');
        EXPECT_EQ(classifyChild(pathTraits(path.substr(0, slash + 1)), path.substr(slash + 1), c.isDirectory),
                  c.expected)
            << c.path;
    }
}
