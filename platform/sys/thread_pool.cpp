// Thread-pool stand-in: one std::thread per scheduled function, joined on request or at exit.
#include "platform/sys/thread_pool.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct Pool {
    std::mutex mutex;
    std::map<int, std::thread> threads;
    int next_id = 1;
    std::atomic<bool> fail_next{false};
    ~Pool()
    {
        // Threads still running at exit are finished before their code goes away.
        for (auto& [id, t] : threads)
            if (t.joinable()) t.join();
    }
};

Pool& pool()
{
    static Pool p;
    return p;
}

void raise_priority(std::thread& t)
{
    sched_param param {};
    int policy = 0;
    if (pthread_getschedparam(t.native_handle(), &policy, &param) != 0) return;
    if (policy == SCHED_OTHER) return;  // ordinary threads have no static priority to raise
    param.sched_priority = sched_get_priority_max(policy);
    pthread_setschedparam(t.native_handle(), policy, &param);
}

std::atomic<int> next_thread_number{1};
thread_local int this_thread_number = 0;

}  // namespace

int CmtScheduleThreadPoolFunctionAdv(ThreadFunctionPtr function, void* data, int priority, int* thread_function_id)
{
    if (function == nullptr) return -1;
    auto& p = pool();
    if (p.fail_next.exchange(false)) return -2;
    std::lock_guard lock(p.mutex);
    int id = p.next_id++;
    try {
        std::thread t([function, data] { function(data); });
        if (priority == THREAD_PRIORITY_HIGHEST) raise_priority(t);
        p.threads.emplace(id, std::move(t));
    } catch (const std::system_error&) {
        return -2;
    }
    if (thread_function_id) *thread_function_id = id;
    return 0;
}

int CmtWaitForThreadPoolFunctionCompletion(int thread_function_id)
{
    auto& p = pool();
    std::thread t;
    {
        std::lock_guard lock(p.mutex);
        auto it = p.threads.find(thread_function_id);
        if (it == p.threads.end()) return -1;
        t = std::move(it->second);
        p.threads.erase(it);
    }
    if (t.joinable() && t.get_id() != std::this_thread::get_id()) t.join();
    else if (t.joinable()) t.detach();
    return 0;
}

int CmtGetCurrentThreadID()
{
    if (this_thread_number == 0) this_thread_number = next_thread_number.fetch_add(1);
    return this_thread_number;
}

namespace vsys {
void inject_thread_start_failure(bool fail) { pool().fail_next.store(fail); }
}  // namespace vsys
