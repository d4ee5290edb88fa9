// The pieces of a split with a frame index, written on two threads. Making a file and copying
// its frames is most of what a piece costs, and pieces do not depend on each other: both
// threads take the next piece in turn, walk to it from the index and write its frames into a
// file without a name. This thread, the caller's, then takes the pieces in order: it asks for
// the piece's tag and name just as the one-thread loop does, ends the piece with the tag and
// gives it the name. A piece is thus named only when it is whole, under the lowest free
// number at that moment, and the caller's functions are only ever called on its own thread.
// What goes in front of a piece's frames is asked for on this thread too, before the piece may
// be written: for the pieces that may be written ahead, while this thread waits for one.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "io/AtomicOutput.h"
#include "io/Paths.h"
#include "mp3/KorvaMp3.h"

namespace pelcato {
namespace {

// Pieces written ahead of the one to be named next: each holds an open file.
constexpr size_t kPiecesAhead = 8;

struct TWrittenPiece {
  std::unique_ptr<TAtomicOutput> Out;  // the frames, without a name; none when they failed
  int64_t Bytes = 0;
  double Written = 0.0;
  std::optional<TExactHeader> Header;  // an exact piece's header frame
  int64_t Clamped = 0;
  bool Ready = false;
};

}  // namespace

bool TKorvaMP3::SavePiecesSideBySide(const std::vector<int64_t>& starts,
                                     const std::vector<int64_t>& ends, const TNameFor& nameFor,
                                     const TTagFor& tagFor, bool noReplace, const TPieceDone& done,
                                     const TFrontFor& front, const TFrameIndex& index,
                                     const TExactSave* exact) const {
  const size_t count = std::min(starts.size(), ends.size());
  // The first piece's name shows the folder where the files without a name are made; any
  // piece whose name lies elsewhere is written again there, the one-thread way.
  const TID3v1Tag firstTag = tagFor(0);
  const std::string firstPath = nameFor(0);
  const std::string folder = FolderOf(firstPath);

  std::mutex lock;
  std::condition_variable changed;
  std::deque<TWrittenPiece> pieces(count);
  // What goes in front of each piece; a piece may be written once its front is there. A piece
  // whose length could not be measured for it fails.
  std::vector<std::vector<uint8_t>> fronts(count);
  std::vector<char> frontFailed(count, 0);
  size_t frontsMade = front ? 0 : count;
  size_t nextToWrite = 0;
  size_t nextToName = 0;
  bool stop = false;

  // Takes the next piece to write, if one may be written now; false when none is left.
  const auto claim = [&](std::unique_lock<std::mutex>& held, size_t& piece, bool wait) {
    for (;;) {
      if (stop || nextToWrite >= count) return false;
      if (nextToWrite < nextToName + kPiecesAhead && nextToWrite < frontsMade) {
        piece = nextToWrite++;
        return true;
      }
      if (!wait) return false;
      changed.wait(held);
    }
  };
  // Each thread has its own source and skip walk.
  struct TWalker {
    std::unique_ptr<TSourceFile> Src;
    TSkipWalk Walk;
  };
  const auto write = [&](TWalker& w, size_t i) {
    TWrittenPiece piece;
    try {
      if (!w.Src) w.Src = std::make_unique<TSourceFile>(Info.FileName);
      auto out = std::make_unique<TAtomicOutput>();
      if (out->Open(firstPath, false)) {
        // Made before the piece was claimed, and left alone until it is named.
        const std::vector<uint8_t>& bytes = fronts[i];
        if (exact) {
          const auto given = [&](size_t, const TLengthOf&) { return bytes; };
          piece.Header = CopyExact(*w.Src, *exact, i, starts[i], ends[i], given, *out, piece.Bytes,
                                   piece.Written, &piece.Clamped);
        } else {
          const TCursor cursor = SkipFor(*w.Src, w.Walk, starts[i], &index);
          if (!bytes.empty()) out->Append(bytes.data(), bytes.size());
          CopyPiece(*w.Src, cursor.Pos, ends[i] - starts[i], out.get(), piece.Bytes, piece.Written,
                    &index, VolumeOf(i), &piece.Clamped);
        }
        out->Flush();
        // A source cut short while we read it must not give a piece that looks whole.
        w.Src->CheckIntact();
        piece.Out = std::move(out);
      }
    } catch (const std::exception&) {
      piece.Out.reset();
      Restart(w.Walk);
    }
    piece.Ready = true;
    std::lock_guard<std::mutex> g(lock);
    pieces[i] = std::move(piece);
    changed.notify_all();
  };

  std::thread helper;
  try {
    helper = std::thread([&] {
      TWalker w;
      Restart(w.Walk);
      std::unique_lock<std::mutex> held(lock);
      size_t i = 0;
      while (claim(held, i, true)) {
        held.unlock();
        write(w, i);
        held.lock();
      }
    });
  } catch (const std::system_error&) {
    return false;
  }
  // Whatever happens here (a caller's function may throw), the helper stops and is joined.
  struct TJoin {
    std::thread& Helper;
    std::mutex& Lock;
    bool& Stop;
    std::condition_variable& Changed;
    ~TJoin() {
      {
        std::lock_guard<std::mutex> g(Lock);
        Stop = true;
      }
      Changed.notify_all();
      Helper.join();
    }
  } join{helper, lock, stop, changed};

  TWalker own;
  Restart(own.Walk);
  // The fronts of the pieces up to (not including) piece `upTo`, made in order; the lengths
  // they ask for are walked with a source and a walk of their own.
  TWalker measure;
  Restart(measure.Walk);
  const auto makeFronts = [&](size_t upTo) {
    for (size_t i = frontsMade; i < std::min(upTo, count); ++i) {
      std::vector<uint8_t> bytes;
      try {
        bytes = front(i, [&] {
          if (!measure.Src) measure.Src = std::make_unique<TSourceFile>(Info.FileName);
          if (exact) return ExactLength(*measure.Src, *exact, starts[i], ends[i]);
          const TCursor cursor = SkipFor(*measure.Src, measure.Walk, starts[i], &index);
          return PieceLength(*measure.Src, cursor.Pos, ends[i] - starts[i], &index);
        });
      } catch (const std::exception&) {
        frontFailed[i] = 1;
        Restart(measure.Walk);
      }
      std::lock_guard<std::mutex> g(lock);
      fronts[i] = std::move(bytes);
      frontsMade = i + 1;
      changed.notify_all();
    }
  };
  TWrittenPiece piece;  // the piece being named
  // Waits until piece i is written, writing pieces itself meanwhile when it may, and takes it.
  const auto ready = [&](size_t i) {
    piece.Out.reset();
    if (i > 0) fronts[i - 1] = {};
    if (front) makeFronts(i + kPiecesAhead);
    std::unique_lock<std::mutex> held(lock);
    nextToName = i;
    changed.notify_all();
    while (!pieces[i].Ready) {
      size_t other = 0;
      if (claim(held, other, false)) {
        held.unlock();
        write(own, other);
        held.lock();
      } else {
        changed.wait(held, [&] { return pieces[i].Ready; });
      }
    }
    piece = std::move(pieces[i]);
  };
  SaveInOrder(
      count, [&](size_t i) { return i == 0 ? firstPath : nameFor(i); },
      [&](size_t i) { return i == 0 ? firstTag : tagFor(i); }, done,
      [&](size_t i, const TID3v1Tag& tag, TSegmentResult& result) {
        if (frontFailed[i]) {
          piece.Out.reset();
          return;
        }
        if (FolderOf(result.Path) != folder) {
          // Another folder: written there the one-thread way.
          piece.Out.reset();
          try {
            if (!own.Src) own.Src = std::make_unique<TSourceFile>(Info.FileName);
            const auto given = [&](size_t, const TLengthOf&) { return fronts[i]; };
            WriteRange(*own.Src, own.Walk, exact, i, starts[i], ends[i], result.Path, tag, given,
                       noReplace, result, &index);
          } catch (const std::exception&) {
            Restart(own.Walk);
            throw;
          }
        } else if (piece.Out) {
          if (exact) {
            EndExact(*piece.Out, piece.Header, tag);
          } else if (tag.IsTag()) {
            WriteTag(*piece.Out, tag, SourceTagEnd());
          }
          piece.Out->CommitAs(result.Path, noReplace);
          result.Ok = true;
          result.Bytes = piece.Bytes;
          result.DurationMs = int64_t(piece.Written);
          result.Clamped = piece.Clamped;
        }
        piece.Out.reset();
      },
      ready);
  piece.Out.reset();
  return true;
}

}  // namespace pelcato
