#include "run/writer_thread.h"

namespace voxa {

WriterThread::WriterThread(FileWriter& writer)
    : writer_(writer), thread_([this] {
        while (writer_.WaitForWork()) writer_.RunPending();
      }) {}

WriterThread::~WriterThread() {
  writer_.Stop();
  thread_.join();
}

}  // namespace voxa
