// Hand-overs to the desktop (file manager, URL handlers) never hold up the window: the click
// returns while the desktop is still thinking, and a failure is said in the status line when the
// answer comes, unless something newer has been said meanwhile.

#include "Support/ShellTestSupport.h"

#include "Morvo/State/CleanupState.h"
#include "Morvo/Shell/ContentView.h"
#include "Morvo/Shell/InspectorView.h"
#include "Morvo/Platform/Workspace.h"

#include <QApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using namespace morvo;
using namespace morvo::shelltest;

namespace {

// A desktop whose every answer takes up to two seconds, and is "no": it waits for the test to let
// it go. When a request waited the whole two seconds, its caller held it up.
class SlowDesktop {
public:
    bool answer() {
        std::unique_lock lock(mutex_);
        ++asked_;
        if (!changed_.wait_for(lock, std::chrono::seconds(2), [&] { return released_; })) ++timedOut_;
        ++answered_;
        return false;
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    void hold() {
        std::lock_guard lock(mutex_);
        released_ = false;
    }
    int answered() const {
        std::lock_guard lock(mutex_);
        return answered_;
    }
    int timedOut() const {
        std::lock_guard lock(mutex_);
        return timedOut_;
    }
    DesktopBridge bridge(const std::shared_ptr<SlowDesktop>& self) const {
        DesktopBridge bridge;
        bridge.callFileManager = [self](const QString&, const QStringList&) { return self->answer(); };
        bridge.hasHandler = [self](const QString&) { return self->answer(); };
        bridge.openUrl = [self](const QUrl&) { return self->answer(); };
        return bridge;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
    int asked_ = 0, answered_ = 0, timedOut_ = 0;
};

TEST(DesktopHandOver, ClicksReturnBeforeASlowDesktopAnswersAndItsRefusalIsSaidAfterwards) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Fixture fixture;
    auto desktop = std::make_shared<SlowDesktop>();
    AppServices services = fixture.services();
    services.workspace = makeDesktopWorkspace(desktop->bridge(desktop));
    AppState state(services);
    ContentView view(state);
    view.resize(1340, 860);
    view.show();
    ASSERT_TRUE(publish(state, fixture, makeSnapshot(fixture.home.string())));
    state.setSelectedID(fixture.home / "notes.txt");
    CleanupOutcome moved;
    moved.id = fixture.home / "old.log";
    moved.status = CleanupOutcomeStatus::moved;
    moved.trashURL = Url::file(fixture.home / ".local/share/Trash/files/old.log");

    struct Case {
        const char* name;
        std::function<void()> act;
        std::string notice;
    } cases[] = {
        {"inspector's Reveal button", [&] { buttonLabelled(view.inspector(), "Reveal in Finder")->click(); },
         "No file manager on this desktop could show the item."},
        {"contact link", [&] { byIdentifier(&view, "contact-email")->click(); },
         "No email app is set up on this desktop. You can write to " + ContentView::supportAddress().toStdString() + "."},
        {"revealTrash", [&] { state.cleanup().revealTrash(moved); },
         "No file manager on this desktop could show the Trash."},
        {"openPrivacySettings", [&] { state.openPrivacySettings(); },
         "No app on this desktop opens x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles."},
    };
    for (const Case& c : cases) {
        state.setNotice(std::nullopt);
        desktop->hold();
        const int answeredBefore = desktop->answered();
        c.act();
        EXPECT_EQ(desktop->answered(), answeredBefore) << c.name << ": the click waited for the desktop";
        EXPECT_EQ(state.notice(), std::nullopt) << c.name;
        desktop->release();
        EXPECT_TRUE(waitFor([&] { return state.notice() == c.notice; }, 5000))
            << c.name << ": " << state.notice().value_or("(no notice)");
        EXPECT_EQ(view.bannerRow(), ContentView::BannerRow::notice) << c.name;
    }
    EXPECT_EQ(desktop->timedOut(), 0) << "no request had to wait out the desktop";
}

// Keeps each answer for the test to give, in any order.
class ScriptedWorkspace : public Workspace {
public:
    void reveal(const std::vector<Url>&, Answer answer) override { pending.push_back(std::move(answer)); }
    void open(const Url&, Answer answer) override { pending.push_back(std::move(answer)); }
    std::vector<Answer> pending;
};

TEST(DesktopHandOver, ALateRefusalGivesWayToNewerNews) {
    Fixture fixture;
    auto desktop = std::make_shared<ScriptedWorkspace>();
    AppServices services = fixture.services();
    services.workspace = desktop;
    const std::string revealFailed = "No file manager on this desktop could show the item.";
    const std::string mailFailed =
        "No email app is set up on this desktop. You can write to hello@example.org.";
    const std::string cancelled = "Scan cancelled. Your previous results are still here.";
    const Url mail = Url::parse("mailto:hello@example.org");
    const Url item = Url::file(fixture.home / "a.txt");

    struct Case {
        const char* name;
        // Starts hand-overs and says other things; the scripted answers follow in `answers`.
        std::function<void(AppState&)> before;
        std::vector<std::pair<std::size_t, bool>> answers;   // (which hand-over, taken)
        std::optional<std::string> notice;                   // what the status line says at the end
    } cases[] = {
        {"alone, it is said", [&](AppState& s) { s.workspace().reveal({item}); }, {{0, false}}, revealFailed},
        {"over an older notice, it is said",
         [&](AppState& s) {
             s.cancelScan();
             s.workspace().reveal({item});
         },
         {{0, false}}, revealFailed},
        {"a notice said after it began stays",
         [&](AppState& s) {
             s.workspace().reveal({item});
             s.cancelScan();
         },
         {{0, false}}, cancelled},
        {"a newer hand-over answers for both, in order",
         [&](AppState& s) {
             s.workspace().reveal({item});
             s.workspace().open(mail);
         },
         {{0, false}, {1, false}}, mailFailed},
        {"a newer hand-over answers for both, out of order",
         [&](AppState& s) {
             s.workspace().reveal({item});
             s.workspace().open(mail);
         },
         {{1, false}, {0, false}}, mailFailed},
        {"the newer one went through",
         [&](AppState& s) {
             s.workspace().reveal({item});
             s.workspace().open(mail);
         },
         {{0, false}, {1, true}}, std::nullopt},
    };
    for (const Case& c : cases) {
        desktop->pending.clear();
        AppState state(services);
        c.before(state);
        for (const auto& [which, taken] : c.answers) desktop->pending.at(which)(taken);
        EXPECT_EQ(state.notice(), c.notice) << c.name;
    }
}

// The desktop sees the requests one at a time, in the order they were made, so that it ends on
// the one the user asked for last; the answers come on the GUI thread.
TEST(DesktopHandOver, RequestsReachTheDesktopOneAtATimeInOrder) {
    struct Seen {
        std::mutex mutex;
        std::vector<QString> order;
        int inside = 0, most = 0;
    };
    auto seen = std::make_shared<Seen>();
    DesktopBridge bridge;
    bridge.callFileManager = [seen](const QString&, const QStringList& uris) {
        {
            std::lock_guard lock(seen->mutex);
            seen->most = std::max(seen->most, ++seen->inside);
            seen->order.push_back(uris.join(' '));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::lock_guard lock(seen->mutex);
        --seen->inside;
        return true;
    };
    auto workspace = makeDesktopWorkspace(bridge);
    std::vector<QString> answered;
    bool onGuiThread = true;
    for (const char* path : {"/a", "/b", "/c"})
        workspace->reveal({Url::file(path)}, [&, path](bool taken) {
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
            if (taken) answered.push_back(QString::fromLatin1(path));
        });
    ASSERT_TRUE(waitFor([&] { return answered.size() == 3; }, 5000));
    EXPECT_EQ(answered, (std::vector<QString>{"/a", "/b", "/c"}));
    std::lock_guard lock(seen->mutex);
    EXPECT_EQ(seen->order, (std::vector<QString>{"file:///a", "file:///b", "file:///c"}));
    EXPECT_EQ(seen->most, 1);
    EXPECT_TRUE(onGuiThread);
}

} // namespace
