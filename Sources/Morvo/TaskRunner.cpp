#include "Morvo/TaskRunner.h"

#include <QThread>

namespace morvo {

QThreadPool& taskPool(TaskPriority priority) {
    static QThreadPool* userInitiated = [] {
        auto* pool = new QThreadPool();
        pool->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        return pool;
    }();
    static QThreadPool* utility = [] {
        auto* pool = new QThreadPool();
        pool->setMaxThreadCount(std::max(2, QThread::idealThreadCount() / 2));
        pool->setThreadPriority(QThread::LowPriority);
        return pool;
    }();
    return priority == TaskPriority::userInitiated ? *userInitiated : *utility;
}

} // namespace morvo
