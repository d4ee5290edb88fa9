// The music CRC of a piece: the CRC-16 of the source's frames it copies, in order. The ranges
// of a long piece are summed on a thread of its own, through a mapped window of its own, while
// the walk that finds them goes on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "io/SourceFile.h"

namespace pelcato {

class TMusicCrc {
 public:
  // crc: what the bytes before the source's (a filler frame) sum to.
  TMusicCrc(TSourceFile& src, uint16_t crc) : FSrc(src), FCrc(crc) {}
  ~TMusicCrc();
  TMusicCrc(const TMusicCrc&) = delete;
  TMusicCrc& operator=(const TMusicCrc&) = delete;

  // Adds len bytes of the source at pos. Throws EFileError.
  void Add(int64_t pos, int64_t len);
  // The CRC of everything added. Throws EFileError when a range could not be read.
  uint16_t Finish();

 private:
  void Sum(TSourceFile& src, int64_t pos, int64_t len);
  void Run();

  TSourceFile& FSrc;
  uint16_t FCrc;
  int64_t FAdded = 0;
  std::unique_ptr<TSourceFile> FOwn;  // the thread's view of the source
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::pair<int64_t, int64_t>> FRanges;
  bool FDone = false;  // no more ranges come
  std::string FError;
  std::thread FWorker;  // last: started once everything it uses is there
};

}  // namespace pelcato
