#include "Morvo/Platform/TaskRunner.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <vector>

namespace morvo {

namespace {

enum Pool { userInitiatedPool, utilityPool, handOverPool };

struct Runner {
    // Delivery to the GUI thread: a worker posts under this lock, and the receiver is only
    // destroyed under it, so no post ever reaches a destroyed object. Also the hand-off lock.
    std::mutex deliveryMutex;
    QObject* receiver = nullptr;

    std::mutex poolsMutex;
    QThreadPool* pools[3] = {};   // by Pool

    std::mutex tasksMutex;
    std::vector<std::weak_ptr<std::stop_source>> tasks;   // what quitting asks to stop
};

// Never destroyed: a worker that outlives everything else may still take the delivery lock.
Runner& runner() {
    static Runner* instance = new Runner;
    return *instance;
}

QThreadPool* makePool(int maxThreads, QThread::Priority priority) {
    auto* pool = new QThreadPool();
    pool->setMaxThreadCount(maxThreads);
    pool->setThreadPriority(priority);
    return pool;
}

QThreadPool& pool(Pool which) {
    Runner& r = runner();
    std::lock_guard lock(r.poolsMutex);
    QThreadPool*& slot = r.pools[which];
    if (!slot) {
        switch (which) {
        case userInitiatedPool: slot = makePool(std::max(2, QThread::idealThreadCount()), QThread::InheritPriority); break;
        case utilityPool: slot = makePool(std::max(2, QThread::idealThreadCount() / 2), QThread::LowPriority); break;
        case handOverPool: slot = makePool(1, QThread::InheritPriority); break;
        }
    }
    return *slot;
}

// Waits until the pools `which` have no work, all of them within `timeout`; true when they have
// none. Called on the GUI thread.
bool waitForPools(std::initializer_list<Pool> which, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Runner& r = runner();
    std::lock_guard lock(r.poolsMutex);
    for (Pool index : which) {
        QThreadPool* slot = r.pools[index];
        if (!slot) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!slot->waitForDone(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count())))) return false;
    }
    return true;
}

// The application's event loop has ended: every task is asked to stop, and given a moment. The
// hand-over queue is not waited for: a hand-over cannot be stopped and may wait on the desktop for
// seconds (endProcessIfWorkRemains deals with it).
void stopForQuit() {
    Runner& r = runner();
    {
        std::lock_guard lock(r.tasksMutex);
        for (const auto& task : r.tasks)
            if (auto source = task.lock()) source->request_stop();
    }
    waitForPools({userInitiatedPool, utilityPool}, quitWaitLimit);
}

// Run by the application object's destructor, on the GUI thread: closes delivery (results still
// queued go with the receiver) and frees the pools whose work has ended. A pool that still runs
// something is left to its threads, which find delivery closed.
void closeDelivery() {
    Runner& r = runner();
    QObject* receiver = nullptr;
    {
        std::lock_guard lock(r.deliveryMutex);
        std::swap(receiver, r.receiver);
    }
    delete receiver;
    std::lock_guard lock(r.poolsMutex);
    for (QThreadPool*& slot : r.pools) {
        if (slot && slot->waitForDone(200)) {
            delete slot;
            slot = nullptr;
        }
    }
}

} // namespace

namespace detail {

GuiDelivery::GuiDelivery() : lock_(runner().deliveryMutex), receiver_(runner().receiver) {}

void openGuiDelivery() {
    Runner& r = runner();
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    std::lock_guard lock(r.deliveryMutex);
    if (r.receiver) return;
    r.receiver = new QObject();
    if (r.receiver->thread() != app->thread()) r.receiver->moveToThread(app->thread());
    QObject::connect(app, &QCoreApplication::aboutToQuit, r.receiver, &stopForQuit);
    qAddPostRoutine(closeDelivery);
}

void registerTask(const std::shared_ptr<std::stop_source>& source) {
    Runner& r = runner();
    std::lock_guard lock(r.tasksMutex);
    std::erase_if(r.tasks, [](const std::weak_ptr<std::stop_source>& task) { return task.expired(); });
    r.tasks.push_back(source);
}

void passHandOffLock() { std::lock_guard lock(runner().deliveryMutex); }

namespace {

class Job : public QRunnable {
public:
    explicit Job(std::function<void()> work) : work_(std::move(work)) {}
    void run() override {
        passHandOffLock();
        work_();
    }

private:
    std::function<void()> work_;
};

} // namespace

void startJob(QThreadPool& pool, std::function<void()> work) {
    auto* job = new Job(std::move(work));
    passHandOffLock();
    pool.start(job);
}

} // namespace detail

QThreadPool& taskPool(TaskPriority priority) {
    return pool(priority == TaskPriority::userInitiated ? userInitiatedPool : utilityPool);
}

QThreadPool& handOverQueue() { return pool(handOverPool); }

void endProcessIfWorkRemains(int status) {
    if (waitForPools({userInitiatedPool, utilityPool, handOverPool}, std::chrono::milliseconds(0))) return;
    std::fflush(nullptr);
    std::_Exit(status);
}

void runHandOver(std::function<bool()> work, std::function<void(bool taken)> done) {
    detail::openGuiDelivery();
    detail::startJob(handOverQueue(), [work = std::move(work), done = std::move(done)]() mutable {
        bool taken = false;
        try {
            taken = work && work();
        } catch (...) {
            taken = false;
        }
        detail::post([done = std::move(done), taken] {
            if (done) done(taken);
        });
    });
}

} // namespace morvo
