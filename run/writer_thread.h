// The thread that runs the writer's queue: every file step of a run (the
// recording's bytes, the lists' lines, the syncs, the finishing steps at the
// run's end) is done here, so that a slow or stalled disk never holds up
// the GUI thread, which reads the port. Plain C++; the writer wakes the
// controller through the callback the controller gives it.
#pragma once

#include <thread>

#include "recording/file_writer.h"

namespace voxa {

class WriterThread {
 public:
  // Starts running writer's steps; writer must be in Queued mode and outlive this.
  explicit WriterThread(FileWriter& writer);
  // Runs what is still queued, then ends the thread.
  ~WriterThread();
  WriterThread(const WriterThread&) = delete;
  WriterThread& operator=(const WriterThread&) = delete;

 private:
  FileWriter& writer_;
  std::thread thread_;
};

}  // namespace voxa
