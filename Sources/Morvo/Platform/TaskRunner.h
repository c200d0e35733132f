#pragma once
// Background work for the state objects and the desktop hand-overs. Core calls run on one of two
// thread pools; the result comes back on the GUI thread through the state object (the context):
// when the context is gone, nothing runs. Each task has its own stop source; cancelling the
// handle requests a stop.
//
// Results reach the GUI thread through one receiver object that lives there. Posting to it and
// closing it (when the application object is destroyed) take the same lock, so a worker that
// finishes late finds delivery closed and drops its result instead of posting to a destroyed
// object. The pools are freed then too, once their work has ended.
//
// When the application's event loop ends (quit), every task still running is asked to stop and
// given up to `quitWaitLimit` to do so: a move to the Trash ends after the item in hand, scans
// and loads at their next check. The process is not to end in the middle of such an item.

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <utility>

namespace morvo {

enum class TaskPriority { userInitiated, utility };

QThreadPool& taskPool(TaskPriority priority);

// The queue of hand-overs to the desktop (file manager, URL handlers): one runs at a time, in the
// order they were given, so the desktop shows what the user asked for last.
QThreadPool& handOverQueue();

// How long quitting waits for the tasks it asked to stop.
inline constexpr std::chrono::milliseconds quitWaitLimit{800};

// The end of the process after the application's objects are gone, before the application object
// goes: work that is still running (a task that did not stop within the quit's wait, a hand-over
// waiting on the desktop) must not meet the application object and the program's static objects
// being destroyed, so the process then ends at once with `status`, standard streams flushed.
// Returns when nothing runs.
void endProcessIfWorkRemains(int status);

class TaskHandle {
public:
    TaskHandle() = default;
    explicit TaskHandle(std::shared_ptr<std::stop_source> source) : source_(std::move(source)) {}
    void cancel() {
        if (source_) source_->request_stop();
    }
    bool isValid() const { return source_ != nullptr; }
    bool isCancelled() const { return source_ && source_->stop_requested(); }

private:
    std::shared_ptr<std::stop_source> source_;
};

template <class R>
struct TaskResult {
    std::optional<R> value;        // set when the work returned
    std::exception_ptr error;      // set when the work threw
};

namespace detail {

// Holds the delivery lock for its lifetime; `receiver()` is the GUI-thread object to post to, or
// null once the application is ending (or before one exists).
class GuiDelivery {
public:
    GuiDelivery();
    QObject* receiver() const { return receiver_; }

private:
    std::unique_lock<std::mutex> lock_;
    QObject* receiver_;
};

// Makes sure the receiver exists; called on the GUI thread before work that will post starts.
void openGuiDelivery();
// Keeps `source` to be asked to stop when the application quits.
void registerTask(const std::shared_ptr<std::stop_source>& source);
// Takes and releases the hand-off lock (the one delivery posts under). Passed by the side that
// hands a closure to another thread after building it, and by the side that receives it before
// running it, it orders the two in a way race checkers see: the queues of the pools and of the
// event loop lock inside Qt, out of their sight.
void passHandOffLock();
// Starts `work` on `pool`, handed off as above.
void startJob(QThreadPool& pool, std::function<void()> work);

template <class F>
void post(F f) {
    GuiDelivery delivery;
    if (QObject* receiver = delivery.receiver())
        QMetaObject::invokeMethod(
            receiver,
            [f = std::move(f)]() mutable {
                passHandOffLock();
                f();
            },
            Qt::QueuedConnection);
}

} // namespace detail

// Runs `f` later on the GUI thread unless the object behind `guard` is gone by then. Callable from
// any thread; `guard` must have been made on the GUI thread. The guard is read on the GUI thread
// only: reading it elsewhere would race with the object's destruction.
template <class F>
void postToGuiThread(const QPointer<QObject>& guard, F f) {
    detail::post([guard, f = std::move(f)]() mutable {
        if (guard) f();
    });
}

// Runs `work(stop)` on the pool of `priority`; then `done(result)` on the GUI thread unless
// `context` (a GUI-thread object) has been destroyed by then. `work` must not touch `context`.
template <class R, class Work, class Done>
TaskHandle runTask(QObject* context, TaskPriority priority, Work work, Done done) {
    detail::openGuiDelivery();
    auto source = std::make_shared<std::stop_source>();
    detail::registerTask(source);
    QPointer<QObject> guard(context);
    detail::startJob(taskPool(priority), [source, guard, work = std::move(work), done = std::move(done)]() mutable {
        auto result = std::make_shared<TaskResult<R>>();
        try {
            result->value.emplace(work(source->get_token()));
        } catch (...) {
            result->error = std::current_exception();
        }
        postToGuiThread(guard, [done = std::move(done), result]() mutable { done(std::move(*result)); });
    });
    return TaskHandle(source);
}

// Runs `work()` on the hand-over queue, then `done(taken)` on the GUI thread with what it returned
// (false when it threw); `done` does not run once the application is ending. `work` may wait on
// the desktop; it must hold whatever it uses.
void runHandOver(std::function<bool()> work, std::function<void(bool taken)> done);

} // namespace morvo
