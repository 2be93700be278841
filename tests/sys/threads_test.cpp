// The thread-pool call and process CPU time.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/sys/process.h"
#include "platform/sys/thread_pool.h"

namespace {

std::atomic<int> counter{0};
int bump(void* data)
{
    counter += *static_cast<int*>(data);
    return 0;
}

}  // namespace

TEST(ThreadPool, ScheduledFunctionRunsAndIsJoined)
{
    counter = 0;
    int add = 5;
    int id = 0;
    ASSERT_EQ(CmtScheduleThreadPoolFunctionAdv(bump, &add, THREAD_PRIORITY_HIGHEST, &id), 0);
    EXPECT_GT(id, 0);
    EXPECT_EQ(CmtWaitForThreadPoolFunctionCompletion(id), 0);
    EXPECT_EQ(counter.load(), 5);
    EXPECT_EQ(CmtWaitForThreadPoolFunctionCompletion(id), -1);
}

TEST(ThreadPool, InjectedStartFailureIsReported)
{
    vsys::inject_thread_start_failure(true);
    int add = 1;
    EXPECT_LT(CmtScheduleThreadPoolFunctionAdv(bump, &add, THREAD_PRIORITY_NORMAL, nullptr), 0);
    int id = 0;
    EXPECT_EQ(CmtScheduleThreadPoolFunctionAdv(bump, &add, THREAD_PRIORITY_NORMAL, &id), 0);
    CmtWaitForThreadPoolFunctionCompletion(id);
}

TEST(ThreadPool, ThreadIdsDifferPerThread)
{
    int mine = CmtGetCurrentThreadID();
    EXPECT_EQ(mine, CmtGetCurrentThreadID());
    static std::atomic<int> other{0};
    int id = 0;
    ASSERT_EQ(CmtScheduleThreadPoolFunctionAdv([](void*) { other = CmtGetCurrentThreadID(); return 0; }, nullptr,
                                               THREAD_PRIORITY_NORMAL, &id),
              0);
    CmtWaitForThreadPoolFunctionCompletion(id);
    EXPECT_NE(other.load(), mine);
}

TEST(Process, CpuTimeGrowsWithWork)
{
    auto before = vsys::process_cpu_times();
    volatile double x = 0;
    for (int i = 0; i < 30000000; ++i) x = x + i * 0.5;
    auto after = vsys::process_cpu_times();
    EXPECT_GT(after.user + after.kernel, before.user + before.kernel);
}

TEST(Process, CtrlKeyState)
{
    vsys::set_ctrl_key_down(true);
    EXPECT_TRUE(vsys::ctrl_key_down());
    vsys::set_ctrl_key_down(false);
    EXPECT_FALSE(vsys::ctrl_key_down());
}
