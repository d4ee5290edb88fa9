#include "mp3/LengthScan.h"

#include <system_error>

#include "mp3/Mpg123Player.h"

namespace pelcato {

TLengthScan::TLengthScan(const std::string& file, bool deferred)
    : FFile(file), FDeferred(deferred) {
  if (FDeferred) return;
  try {
    FThread = std::thread([this] { Run(true); });
  } catch (const std::system_error&) {
    FDeferred = true;  // no second thread: measured in Take
  }
}

TLengthScan::~TLengthScan() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
}

void TLengthScan::Take(TKorvaMP3& mp3) {
  if (mp3.HeaderCountsEveryFrame()) {
    // The player would count exactly the frames the header counts: a scan under way is
    // stopped, and the player tells the length from the header (opened afresh, so that a
    // scan stopped in the middle of opening cannot matter).
    FStop = true;
    if (FThread.joinable()) FThread.join();
    if (!FMeasured) {
      FStop = false;
      FError.clear();
      FFault = TPlayerFault::Other;
      Run(false);
    }
  } else {
    if (FThread.joinable()) FThread.join();
    if (FDeferred) Run(true);
  }
  mp3.TakeLength(FMeasured, FLength, FError, FFault);
}

void TLengthScan::Run(bool scan) {
  try {
    TMpg123Player player;
    player.SetLengthOnly(true);  // counting the frames needs no more than their headers
    player.SetStop(&FStop);
    player.Open(FFile);
    FLength = scan ? player.Length() : player.LengthWithoutScan();
    FMeasured = true;
  } catch (const EPlayerError& e) {
    FError = e.what();
    FFault = e.Fault();
  } catch (const std::exception& e) {
    FError = e.what();
  }
}

}  // namespace pelcato
