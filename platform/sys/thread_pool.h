// The engine's thread-pool call: runs a function on a joinable thread of its own.
#pragma once

using ThreadFunctionPtr = int (*)(void* data);

constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_HIGHEST = 2;

// Starts `function(data)` on a new thread; `priority` is best effort (raised
// only where the system allows it). On success returns 0 and, when
// `thread_function_id` is given, an id for the wait below; a negative value
// when the thread could not be started.
int CmtScheduleThreadPoolFunctionAdv(ThreadFunctionPtr function, void* data, int priority, int* thread_function_id);
// Waits for the function to return and releases its id; 0, or -1 for an unknown id.
int CmtWaitForThreadPoolFunctionCompletion(int thread_function_id);
// A small number naming the calling thread.
int CmtGetCurrentThreadID();

namespace vsys {
// Tests make the next thread start fail.
void inject_thread_start_failure(bool fail);
}  // namespace vsys
