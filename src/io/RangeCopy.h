// Copying byte ranges from a source to a destination: in the kernel where it can, and on a
// thread of its own while the walk that finds the ranges goes on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace pelcato {

// Copies len bytes of inFd at inPos to outFd at outPos: in the kernel where it can, through a
// buffer otherwise. Throws EFileError.
void CopyBetween(int inFd, int64_t inPos, int outFd, int64_t outPos, int64_t len);

// A thread that copies gathered ranges into one destination, in order, while the walk that
// finds them goes on.
class TRangeCopier {
 public:
  struct TJob {
    int InFd;
    int64_t InPos;
    int64_t OutPos;
    int64_t Len;
  };
  explicit TRangeCopier(int outFd);
  // Stops at once; copies not yet made are dropped.
  ~TRangeCopier();
  TRangeCopier(const TRangeCopier&) = delete;
  TRangeCopier& operator=(const TRangeCopier&) = delete;

  void Add(const TJob& job);
  // Returns when every copy handed over is done; throws EFileError for the first that failed.
  void Wait();

 private:
  void Run();

  int FOutFd;
  std::mutex FLock;
  std::condition_variable FWake;
  std::condition_variable FIdle;
  std::deque<TJob> FJobs;
  bool FBusy = false;
  bool FStop = false;
  int FError = 0;
  std::string FWhat;
  std::thread FWorker;  // last: started once everything it uses is there
};

}  // namespace pelcato
