#include "search/fast/join_threads.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>

namespace velmora::fast::join {
namespace {

// One worker for the whole process: a join calls onThreads several times, and starting a thread each time
// is slow where a thread start is costly (under wine, a round trip to its server). A join takes the worker
// for one call; a second join meanwhile (another search's thread, or onThreads inside the work) starts a
// thread of its own instead of waiting, so no join ever waits on another.
//
// The worker's state is allocated once and never destroyed, and its thread is detached, so nothing of it
// runs at exit. A static worker would have to be woken and joined by a static destructor: destroying a
// condition variable a thread still waits on can hang, and on Windows such a destructor may run after
// ExitProcess has ended the worker's thread, where a join never returns. The end of the process ends the
// idle thread. The state stays reachable through a static pointer: LeakSanitizer sees no leak.
struct Worker {
    std::mutex mutex;
    std::condition_variable wake;     // a task was handed over
    std::condition_variable finished; // the task has ended
    bool running = false;             // the thread was started
    bool taken = false;               // a join holds the worker, from handing a task over to its end
    SecondThread::Task task = nullptr;
    void* context = nullptr;
};

void serve(Worker& worker) {
    std::unique_lock lock(worker.mutex);
    for (;;) {
        worker.wake.wait(lock, [&] { return worker.task != nullptr; });
        const SecondThread::Task task = worker.task;
        lock.unlock();
        task(worker.context);
        lock.lock();
        worker.task = nullptr;
        worker.finished.notify_one();
    }
}

Worker& theWorker() {
    static Worker* const worker = new Worker;
    return *worker;
}

/// Hands the task to the worker, starting it on first use; false where it is taken or cannot start.
bool handToWorker(SecondThread::Task task, void* context) {
    try {
        Worker& worker = theWorker();
        std::lock_guard lock(worker.mutex);
        if (worker.taken)
            return false;
        if (!worker.running) {
            std::thread(serve, std::ref(worker)).detach();
            worker.running = true;
        }
        worker.taken = true;
        worker.task = task;
        worker.context = context;
        worker.wake.notify_one();
        return true;
    } catch (const std::system_error&) { // no thread; a later join tries again
        return false;
    } catch (const std::bad_alloc&) { // the worker's state or its thread's
        return false;
    }
}

void waitForWorker() {
    Worker& worker = theWorker();
    std::unique_lock lock(worker.mutex);
    worker.finished.wait(lock, [&] { return worker.task == nullptr; });
    worker.taken = false;
}

} // namespace

SecondThread::SecondThread(Task task, void* context) {
    m_onWorker = handToWorker(task, context);
    if (m_onWorker)
        return;
    try {
        m_own = std::thread(task, context);
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) { // the thread's state
    }
}

void SecondThread::join() {
    if (m_onWorker) {
        waitForWorker();
        m_onWorker = false;
    } else if (m_own.joinable()) {
        m_own.join();
    }
}

} // namespace velmora::fast::join
