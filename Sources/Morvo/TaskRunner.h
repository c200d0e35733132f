#pragma once
// Background work for the state objects. Core calls run on one of two thread pools; the result
// comes back on the GUI thread through the state object (the context): when the context is gone,
// nothing runs. Each task has its own stop source; cancelling the handle requests a stop.

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>

namespace morvo {

enum class TaskPriority { userInitiated, utility };

QThreadPool& taskPool(TaskPriority priority);

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

// Runs `f` later on the GUI thread unless the object behind `guard` is gone by then. Callable from
// any thread; `guard` must have been made on the GUI thread.
template <class F>
void postToGuiThread(const QPointer<QObject>& guard, F f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app,
        [guard, f = std::move(f)]() mutable {
            if (guard) f();
        },
        Qt::QueuedConnection);
}

// Runs `work(stop)` on the pool of `priority`; then `done(result)` on the GUI thread unless
// `context` (a GUI-thread object) has been destroyed by then. `work` must not touch `context`.
template <class R, class Work, class Done>
TaskHandle runTask(QObject* context, TaskPriority priority, Work work, Done done) {
    auto source = std::make_shared<std::stop_source>();
    QPointer<QObject> guard(context);
    taskPool(priority).start([source, guard, work = std::move(work), done = std::move(done)]() mutable {
        auto result = std::make_shared<TaskResult<R>>();
        try {
            result->value.emplace(work(source->get_token()));
        } catch (...) {
            result->error = std::current_exception();
        }
        // Posted to the application object, which outlives every state object, and the guard is
        // read on the GUI thread: reading it here would race with the context's destruction.
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [guard, done = std::move(done), result]() mutable {
                if (guard) done(std::move(*result));
            },
            Qt::QueuedConnection);
    });
    return TaskHandle(source);
}

} // namespace morvo
