#include "install/flush_queue.h"

#include "install/journal_file.h"

namespace {

// The build without flushes (SETUP_NO_JOURNAL_FLUSH, the benchmark's) takes
// every step at once, as the program did before it flushed anything.
#ifdef SETUP_NO_JOURNAL_FLUSH
constexpr int kThreads = 0;
#else
constexpr int kThreads = 4;
#endif

struct Job {
  HANDLE file;      // to flush and close, or INVALID_HANDLE_VALUE
  QueuedStep* step; // to take after it, or null
  Job* next;
};

class FlushQueue {
public:
  FlushQueue() { InitializeCriticalSection(&m_lock); }

  void Flush(HANDLE file) {
    Release();
    m_hHeld = file;
  }
  // A step belongs with the file flushed last, if no step has it yet.
  void Step(QueuedStep* step) {
    Add(m_hHeld, step);
    m_hHeld = INVALID_HANDLE_VALUE;
  }
  bool Sound() {
    EnterCriticalSection(&m_lock);
    const bool sound = !m_bFailed;
    LeaveCriticalSection(&m_lock);
    return sound;
  }
  bool Drain();

private:
  // The file held for a step goes on its own.
  void Release() {
    if (m_hHeld != INVALID_HANDLE_VALUE) Add(m_hHeld, nullptr);
    m_hHeld = INVALID_HANDLE_VALUE;
  }
  void Add(HANDLE file, QueuedStep* step);
  bool Start();
  void Run(const Job& job);
  static DWORD WINAPI Work(void* self);

  CRITICAL_SECTION m_lock;
  HANDLE m_hWork = nullptr; // counts the jobs waiting
  HANDLE m_hIdle = nullptr; // released when the last job is done while Drain waits
  Job* m_pFirst = nullptr;
  Job* m_pLast = nullptr;
  unsigned m_nOpen = 0; // waiting or running
  int m_nThreads = 0;
  bool m_bWaiting = false;
  bool m_bFailed = false;
  HANDLE m_hHeld = INVALID_HANDLE_VALUE; // flushed last, kept back for a step
};

FlushQueue g_queue;

bool FlushQueue::Start() {
  if (m_nThreads > 0 || kThreads == 0) return m_nThreads > 0;
  m_hWork = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
  m_hIdle = CreateSemaphoreW(nullptr, 0, 1, nullptr);
  if (!m_hWork || !m_hIdle) return false;
  for (int i = 0; i < kThreads; ++i) {
    HANDLE thread = CreateThread(nullptr, 0, Work, this, 0, nullptr);
    if (!thread) break;
    CloseHandle(thread);
    ++m_nThreads;
  }
  return m_nThreads > 0;
}

void FlushQueue::Add(HANDLE file, QueuedStep* step) {
  if (file == INVALID_HANDLE_VALUE && !step) return;
  Job* job = new Job{file, step, nullptr};
  if (!Start()) {
    // No thread to hand it to: taken here and now.
    Run(*job);
    delete job;
    return;
  }
  EnterCriticalSection(&m_lock);
  (m_pLast ? m_pLast->next : m_pFirst) = job;
  m_pLast = job;
  ++m_nOpen;
  LeaveCriticalSection(&m_lock);
  ReleaseSemaphore(m_hWork, 1, nullptr);
}

void FlushQueue::Run(const Job& job) {
  bool done = true;
  if (job.file != INVALID_HANDLE_VALUE) {
    done = FlushHandle(job.file);
    done = CloseHandle(job.file) && done;
  }
  if (job.step) {
    if (done && Sound()) done = job.step->Take();
    delete job.step;
  }
  if (done) return;
  EnterCriticalSection(&m_lock);
  m_bFailed = true;
  LeaveCriticalSection(&m_lock);
}

DWORD WINAPI FlushQueue::Work(void* self) {
  auto& queue = *static_cast<FlushQueue*>(self);
  for (;;) {
    WaitForSingleObject(queue.m_hWork, INFINITE);
    EnterCriticalSection(&queue.m_lock);
    Job* job = queue.m_pFirst;
    queue.m_pFirst = job->next;
    if (!queue.m_pFirst) queue.m_pLast = nullptr;
    LeaveCriticalSection(&queue.m_lock);
    queue.Run(*job);
    delete job;
    EnterCriticalSection(&queue.m_lock);
    const bool wake = --queue.m_nOpen == 0 && queue.m_bWaiting;
    if (wake) queue.m_bWaiting = false;
    LeaveCriticalSection(&queue.m_lock);
    if (wake) ReleaseSemaphore(queue.m_hIdle, 1, nullptr);
  }
}

bool FlushQueue::Drain() {
  Release();
  EnterCriticalSection(&m_lock);
  const bool wait = m_nOpen > 0;
  m_bWaiting = wait;
  LeaveCriticalSection(&m_lock);
  if (wait) WaitForSingleObject(m_hIdle, INFINITE);
  EnterCriticalSection(&m_lock);
  const bool sound = !m_bFailed;
  m_bFailed = false;
  LeaveCriticalSection(&m_lock);
  return sound;
}

} // namespace

void QueueFlush(HANDLE file) { g_queue.Flush(file); }
void QueueStep(QueuedStep* step) { g_queue.Step(step); }
bool QueueSound() { return g_queue.Sound(); }
bool DrainQueue() { return g_queue.Drain(); }
