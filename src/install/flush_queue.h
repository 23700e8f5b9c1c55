// Files whose data must be on disk before a later step (their rename into
// place, the journal's commit) are flushed on threads of their own while the
// caller writes the next ones, and the step that must follow a flush is taken
// there too, once the flush is through. Several flushes in flight share the
// file system's commits. Only the thread that queues waits, drains and logs;
// the queue threads take steps and nothing else.
//
// The journal names every step before it is queued, so queued steps may
// complete in any order; the journal's commit waits for all of them
// (JournalFile::Commit), and so does closing the journal, before a roll-back
// may look at the folder.
#pragma once

#include <windows.h>

// A step that may be taken only once the file queued before it is on disk.
class QueuedStep {
public:
  virtual ~QueuedStep() = default;
  virtual bool Take() = 0;
};

// `file`'s data is forced onto the disk and the file closed, in the
// background. The handle belongs to the queue from now on: the file stays
// open as it was opened (unshared, say) until then.
void QueueFlush(HANDLE file);
// `step` (the queue owns it) is taken once the file queued last is on disk
// and closed. Nothing is taken any more once something queued has failed.
void QueueStep(QueuedStep* step);
// False once something queued has failed, until the next DrainQueue.
bool QueueSound();
// Waits until everything queued is done: false when something failed since
// the last drain.
bool DrainQueue();
