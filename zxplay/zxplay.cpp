// zxplay: plays a film (or the film of a self-playing executable) in a
// window on Linux: each segment in turn at its recorded rate, the recorded
// cursor, palettes carried over from segment to segment, a seek bar with
// segment marks, keys for pausing, seeking, frame steps and speeds, and
// each segment's sound in step with the picture at normal speed.
//
// Test hook: with ZXPLAY_TEST_HOOK=FILE in the environment, zxplay prints
// a line on standard output at each change of its state ("state paused 1 5
// 3 sound": play state, segment number, frame, speed position, "sound" or
// "muted") and, on SIGUSR1,
// reads back the picture its window shows, writes it to FILE (binary PPM)
// and prints "shot SEGMENT FRAME SHA256 WIDTH HEIGHT" (the checksum is the
// one zxtool export --hash gives the frame when the window shows it
// unscaled). It also prints "audio RATE CHANNELS s16" when it opens an audio
// device (for 16-bit samples in the machine's order) and "sound SEGMENT
// FRAME SAMPLE" each time a segment's sound starts (from that sample frame),
// "resync SEGMENT FRAME SAMPLE HEARD" when the sound, heard at sample HEARD,
// has drifted from the picture and starts again from SAMPLE,
// "presented SEGMENT FRAME MS" when the window shows the picture after a key
// or a click (MS from SDL's taking the input to the picture on screen), and
// "presents N" as it quits (how many times it drew the window).
#include "zxFont.h"
#include "zxPlayback.h"
#include "zxPlayerModel.h"
#include "zxRender.h"
#include "zxSound.h"
#include "zxtool.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <set>

namespace {

constexpr int32_t TextHeight = 11;
constexpr int32_t BarHeight = 11;
constexpr int32_t PanelHeight = TextHeight + BarHeight; // under the picture
constexpr uint32_t TextShownMs = 2000;                  // after an action while playing
constexpr int64_t DriftMs = 150; // sound and picture apart by more: the sound restarts

struct TSdlDelete {
  void operator()(SDL_Window *w) const { SDL_DestroyWindow(w); }
};
using TWindow = std::unique_ptr<SDL_Window, TSdlDelete>;

// Paints the window through its surface, the window system's memory of
// it. Unscaled, only the rows of a picture that changed since it was last
// painted are converted and sent on, which costs next to nothing where
// little moves; a scaled picture is stretched whole when it changes (sharp
// at whole factors, smooth otherwise).
class TWindowPainter {
public:
  explicit TWindowPainter(SDL_Window *window) : FWindow(window) {}

  // Paints picture at `shown` (nullptr: none; only its rows `changed` can
  // differ from the last one) and the panel along the window's foot;
  // `whole` paints and sends the whole window. Whether anything was sent.
  bool Paint(const TzxRgbPicture *picture, const SDL_Rect &shown, TzxRowSpan changed,
             const TzxRgbPicture &panel, bool whole) {
    SDL_Surface *s = SDL_GetWindowSurface(FWindow);
    if (!s) throw EzxError(Format("cannot draw in the window: %s", SDL_GetError()));
    if (s != FSurface || s->w != FWidth || s->h != FHeight || !SameRect(shown, FShown))
      whole = true;
    FSurface = s, FWidth = s->w, FHeight = s->h, FShown = shown;
    if (whole) {
      SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
      FSentPicture = {};
      FSentPanel = {};
    }
    std::vector<SDL_Rect> rects;
    if (picture && picture->Width > 0 && shown.w > 0) {
      if (shown.w == picture->Width && shown.h == picture->Height)
        PutRows(*picture, FSentPicture, shown.x, shown.y, changed, rects);
      else if (!ChangedRows(*picture, FSentPicture, changed).Empty()) {
        Stretch(*picture, shown);
        FSentPicture = *picture;
        rects.push_back(shown);
      }
    }
    PutRows(panel, FSentPanel, 0, s->h - panel.Height, AllRows, rects);
    if (whole) rects.assign(1, SDL_Rect{0, 0, s->w, s->h});
    if (rects.empty()) return false;
    SDL_UpdateWindowSurfaceRects(FWindow, rects.data(), static_cast<int>(rects.size()));
    return true;
  }

  // What the window shows of rect, as RGB24; false when it cannot be read.
  bool Read(const SDL_Rect &rect, TzxRgbPicture &out) const {
    SDL_Surface *s = SDL_GetWindowSurface(FWindow);
    if (!s || rect.x < 0 || rect.y < 0 || rect.x + rect.w > s->w || rect.y + rect.h > s->h)
      return false;
    out.Width = rect.w;
    out.Height = rect.h;
    out.Pixels.resize(size_t(rect.w) * size_t(rect.h) * 3);
    const uint8_t *from = static_cast<const uint8_t *>(s->pixels) + size_t(rect.y) * s->pitch +
                          size_t(rect.x) * s->format->BytesPerPixel;
    return SDL_ConvertPixels(rect.w, rect.h, s->format->format, from, s->pitch,
                             SDL_PIXELFORMAT_RGB24, out.Pixels.data(), rect.w * 3) == 0;
  }

private:
  static bool SameRect(const SDL_Rect &a, const SDL_Rect &b) {
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
  }

  // The rows of p that differ from sent (of those within), converted into
  // the surface at (x, y) and noted in rects; sent then holds p.
  void PutRows(const TzxRgbPicture &p, TzxRgbPicture &sent, int32_t x, int32_t y, TzxRowSpan within,
               std::vector<SDL_Rect> &rects) {
    if (p.Width <= 0 || x < 0 || y < 0 || x + p.Width > FSurface->w || y + p.Height > FSurface->h)
      return;
    const TzxRowSpan rows = ChangedRows(p, sent, within);
    if (rows.Empty()) return;
    const size_t row = size_t(p.Width) * 3;
    uint8_t *to = static_cast<uint8_t *>(FSurface->pixels) +
                  size_t(y + rows.First) * FSurface->pitch +
                  size_t(x) * FSurface->format->BytesPerPixel;
    SDL_ConvertPixels(p.Width, rows.Last - rows.First, SDL_PIXELFORMAT_RGB24,
                      p.Pixels.data() + size_t(rows.First) * row, static_cast<int>(row),
                      FSurface->format->format, to, FSurface->pitch);
    rects.push_back({x, y + rows.First, p.Width, rows.Last - rows.First});
    if (sent.Width != p.Width || sent.Height != p.Height)
      sent = p;
    else
      std::memcpy(sent.Pixels.data() + size_t(rows.First) * row,
                  p.Pixels.data() + size_t(rows.First) * row, size_t(rows.Last - rows.First) * row);
  }

  // The picture stretched into `shown` of the surface.
  void Stretch(const TzxRgbPicture &p, const SDL_Rect &shown) {
    if (!FSource || FSource->w != p.Width || FSource->h != p.Height ||
        FSource->format->format != FSurface->format->format)
      FSource.reset(
          SDL_CreateRGBSurfaceWithFormat(0, p.Width, p.Height, 32, FSurface->format->format));
    if (!FSource) throw EzxError(Format("cannot draw in the window: %s", SDL_GetError()));
    SDL_ConvertPixels(p.Width, p.Height, SDL_PIXELFORMAT_RGB24, p.Pixels.data(), p.Width * 3,
                      FSource->format->format, FSource->pixels, FSource->pitch);
    SDL_Rect to = shown;
    const bool whole = shown.w % p.Width == 0 && shown.h % p.Height == 0;
    if (whole || SDL_SoftStretchLinear(FSource.get(), nullptr, FSurface, &to) != 0)
      SDL_SoftStretch(FSource.get(), nullptr, FSurface, &to);
  }

  struct TFree {
    void operator()(SDL_Surface *s) const { SDL_FreeSurface(s); }
  };
  SDL_Window *FWindow;
  SDL_Surface *FSurface = nullptr; // the window's, SDL's to free
  int FWidth = 0, FHeight = 0;
  SDL_Rect FShown{};
  std::unique_ptr<SDL_Surface, TFree> FSource; // a stretched picture before stretching
  TzxRgbPicture FSentPicture, FSentPanel;      // what the window shows
};

// SDL's video for the program's length.
class TSdl {
public:
  TSdl() {
    // Ctrl-C is zxplay's own (CatchInterrupts), not a quit event.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window's surface as the window system keeps it (shared memory
    // on X11), not a texture drawn by OpenGL: the player sends only what
    // changed, which OpenGL would draw whole each time.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
      throw EzxError(Format("cannot open a window: %s", SDL_GetError()));
  }
  ~TSdl() { SDL_Quit(); }
  TSdl(const TSdl &) = delete;
  TSdl &operator=(const TSdl &) = delete;
};

struct TOptions {
  std::string Film;
  int32_t Segment = -1;
  int32_t Speed = NormalSpeedPosition;
  std::optional<TzxTimeValue> Start;
  bool FullScreen = false, Loop = false, CloseOnFinish = false;
};

volatile std::sig_atomic_t ShotAsked = 0;
void OnShotSignal(int) {
  ShotAsked = 1;
}

// A loaded film and the renderer of the segment shown.
class TFilm {
public:
  explicit TFilm(const std::string &name) : FInput(OpenFilm(name, FSession)) {
    LoadFilmFile(FInput, FList, FSession);
    TzxPalette palette{};
    std::string skipped;
    for (int32_t i = 0; i < FList.Count(); ++i) {
      TSegmentInfo &s = *FList.Get(i);
      if (!NothingToPlay(s).empty()) {
        std::fputs(("zx" + NothingToPlayWarning(s).substr(2)).c_str(), stderr);
        continue;
      }
      FTimeline.Add(i, SegmentNumber(s), s.FrameCount, PlayingRate(s.FramesPerSecond));
      FStartPalettes.push_back(palette);
      PlayPalette(s, palette);
    }
    if (FTimeline.Count() == 0) throw EzxError(Format("%s has nothing to play", Name().c_str()));
  }

  const std::string &Name() const { return FInput.Name; }
  const TzxFilmTimeline &Timeline() const { return FTimeline; }
  TSegmentInfo &Segment(int32_t entry) { return *FList.Get(FTimeline.Entry(entry).Index); }
  int32_t Find(int32_t number) const { return FindSegment(FList, number, FInput.Name); }
  int32_t EntryOf(int32_t index) const {
    for (int32_t e = 0; e < FTimeline.Count(); ++e)
      if (FTimeline.Entry(e).Index == index) return e;
    return -1;
  }

  // Decodes frame p; false when it cannot be shown (the segment's records
  // end before it, or a damaged record stops the segment there: said once).
  bool Seek(const TzxFilmPosition &p) {
    if (p.Entry != FEntry || !FRenderer) Open(p.Entry);
    ++FSeeks;
    try {
      return FIndex->Seek(p.Frame);
    } catch (const EzxCorruptFrame &e) {
      if (FWarned.insert(p.Entry).second)
        std::fprintf(stderr, "zxplay: %s, segment %d, frame %d: %s\n", Name().c_str(),
                     FTimeline.Entry(p.Entry).Number, FRenderer->FrameIndex(), e.what());
      return false;
    }
  }

  // The frame decoded last with the cursor of the tick-th tick within it,
  // made in out from what out held before: the rows where the picture
  // changed and those the cursor covered and covers now. Those rows are
  // returned: no other row of out changed.
  TzxRowSpan Render(TzxRgbPicture &out, int32_t tick) {
    TzxRowSpan changed = UpdateBase();
    if (out.Width != FBase.Width || out.Height != FBase.Height) {
      out = FBase;
      changed = {0, FBase.Height};
    } else {
      changed = Union(changed, FCursorRows);
      const size_t row = size_t(FBase.Width) * 3;
      if (!changed.Empty())
        std::memcpy(out.Pixels.data() + size_t(changed.First) * row,
                    FBase.Pixels.data() + size_t(changed.First) * row,
                    size_t(changed.Last - changed.First) * row);
    }
    FCursorRows = DrawCursorAt(out, tick);
    return Union(changed, FCursorRows);
  }
  int32_t TicksPerFrame() const { return FRenderer ? FRenderer->TicksPerFrame() : 1; }

private:
  // FBase brought up to the frame decoded last: only the rows whose pixels
  // (or, at 8 bits, whose palette) changed are converted again. The rows
  // that changed.
  TzxRowSpan UpdateBase() {
    if (FBaseOf == FSeeks) return {};
    FBaseOf = FSeeks;
    const std::vector<uint8_t> &picture = FRenderer->Picture();
    const TzxPictureLayout &l = FRenderer->Layout();
    const bool all = FBase.Width != l.Width || FBase.Height != l.Height ||
                     FBasePicture.size() != picture.size() ||
                     (l.Format.PixelBytes == 1 &&
                      std::memcmp(FBasePalette.data(), FPalette.data(), sizeof(TzxPalette)) != 0);
    TzxRowSpan rows{0, l.Height};
    if (!all) {
      const auto same = [&](int32_t y) {
        return std::memcmp(picture.data() + size_t(y) * l.Stride,
                           FBasePicture.data() + size_t(y) * l.Stride, size_t(l.RowBytes)) == 0;
      };
      while (rows.First < rows.Last && same(rows.First))
        ++rows.First;
      while (rows.Last > rows.First && same(rows.Last - 1))
        --rows.Last;
    }
    if (all) {
      FRenderer->Render(FBase, false);
    } else if (!rows.Empty()) {
      TzxPictureLayout part = l;
      part.Height = rows.Last - rows.First;
      const size_t from = size_t(rows.First) * l.Stride;
      PictureToRgb(part, picture.data() + from, part.PictureBytes(), FPalette, FRows);
      std::memcpy(FBase.Pixels.data() + size_t(rows.First) * l.Width * 3, FRows.Pixels.data(),
                  FRows.Pixels.size());
    }
    FBasePicture = picture;
    FBasePalette = FPalette;
    return rows;
  }

  // Draws the cursor of the tick-th tick of the current frame on out; the
  // rows it may cover.
  TzxRowSpan DrawCursorAt(TzxRgbPicture &out, int32_t tick) {
    const TSegmentInfo &s = *FList.Get(FTimeline.Entry(FEntry).Index);
    if (!s.Cursors) return {};
    TzxCursorSample sample;
    if (!FRenderer->CursorSampleAt(tick, sample)) return {};
    const TzxCursor *cursor = s.Cursors->Get(sample.Cursor);
    if (!cursor || !DrawCursor(*cursor, sample.X, sample.Y, out)) return {};
    const int64_t top = int64_t(sample.Y) - cursor->HotSpotY();
    const int64_t rows = std::max(cursor->Mask().Height, cursor->Colour().Height);
    return {static_cast<int32_t>(std::clamp<int64_t>(top, 0, out.Height)),
            static_cast<int32_t>(std::clamp<int64_t>(top + rows, 0, out.Height))};
  }

  void Open(int32_t entry) {
    FIndex.reset();
    FRenderer.reset();
    FEntry = entry;
    FPalette = FStartPalettes[static_cast<size_t>(entry)];
    FRenderer = std::make_unique<TzxSegmentRenderer>(Segment(entry), FPalette);
    FIndex = std::make_unique<TzxSeekIndex>(*FRenderer);
  }

  TzxToolSession FSession; // first made, last gone: it holds the loader's files
  TzxFilmInput FInput;
  TSegmentList FList;
  TzxFilmTimeline FTimeline;
  std::vector<TzxPalette> FStartPalettes; // by entry
  int32_t FEntry = -1;
  TzxPalette FPalette{};
  std::unique_ptr<TzxSegmentRenderer> FRenderer;
  std::unique_ptr<TzxSeekIndex> FIndex;
  std::set<int32_t> FWarned;
  // The picture of seek FBaseOf without the cursor, from FBasePicture
  // (the decoded picture then) with FBasePalette.
  TzxRgbPicture FBase, FRows;
  std::vector<uint8_t> FBasePicture;
  TzxPalette FBasePalette{};
  int64_t FSeeks = 0, FBaseOf = -1;
  TzxRowSpan FCursorRows; // of the picture last made
};

enum class TState { Playing, Paused, Finished };
const char *StateName(TState s) {
  return s == TState::Playing ? "playing" : s == TState::Paused ? "paused" : "finished";
}

class TPlayer {
public:
  explicit TPlayer(const TOptions &o) : FOptions(o), FSpeed(o.Speed) {
    const bool hook = std::getenv("ZXPLAY_TEST_HOOK") != nullptr;
    FHook = hook ? std::getenv("ZXPLAY_TEST_HOOK") : "";
    FWindow.reset(SDL_CreateWindow(
        "zxplay", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 480, 240 + PanelHeight,
        SDL_WINDOW_RESIZABLE | (o.FullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0)));
    if (!FWindow) throw EzxError(Format("cannot open a window: %s", SDL_GetError()));
    FPainter = std::make_unique<TWindowPainter>(FWindow.get());
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
  }

  // Opens a film; a failure is shown in the window and said on stderr.
  bool Load(const std::string &name, bool first) {
    DropSound();
    FRendered = {};
    FFrame = {}; // made again from nothing for the new film
    FFilm.reset();
    FMessage.clear();
    try {
      FFilm = std::make_unique<TFilm>(name);
      TzxFilmPosition p;
      if (first && FOptions.Segment > 0) {
        const int32_t e = FFilm->EntryOf(FFilm->Find(FOptions.Segment));
        if (e < 0)
          throw EzxError(Format("segment %d of %s has nothing to play", FOptions.Segment,
                                FFilm->Name().c_str()));
        p = {e, 0};
      }
      if (first && FOptions.Start) {
        const TzxTimeValue &t = *FOptions.Start;
        const double at = FFilm->Timeline().TimeOf(p);
        if (t.InFrames)
          FFilm->Timeline().Step(p, static_cast<int32_t>(std::min<int64_t>(t.Frames, INT32_MAX)));
        else
          p = FFilm->Timeline().PositionAt(at + t.Seconds);
      }
      SDL_SetWindowTitle(FWindow.get(), ("zxplay - " + FFilm->Name()).c_str());
      FState = TState::Playing;
      FFitted = false;
      GoTo(p);
      return true;
    } catch (const EzxError &e) {
      Fail(e.what());
    } catch (const std::bad_alloc &) {
      Fail(Format("%s: not enough memory", name.c_str()));
    } catch (const std::length_error &) {
      Fail(Format("%s: not enough memory for a size the film asks for", name.c_str()));
    }
    return false;
  }

  // Runs until the window closes, q or an interrupt; the exit code.
  int Run() {
    for (;;) {
      if (InterruptSignal()) return 128 + InterruptSignal();
      if (FQuit) {
        if (!FHook.empty()) std::printf("presents %lld\n", static_cast<long long>(FPresents));
        return FFilm ? 0 : 1;
      }
      if (ShotAsked) FDirty = true;
      const uint64_t now = SDL_GetTicks64();
      uint32_t wait = 50;
      if (FState == TState::Playing && FFilm) {
        while (FState == TState::Playing && now >= FNextTick) {
          Tick();
          FNextTick += Period();
          if (now > FNextTick + 250) FNextTick = now; // fallen behind: catch up
        }
        if (FState == TState::Playing)
          wait =
              static_cast<uint32_t>(std::min<uint64_t>(FNextTick - std::min(FNextTick, now), 50));
      }
      if (FTextUntil != 0 && now >= FTextUntil) FTextUntil = 0, FDirty = true;
      if (FDirty) Present();
      FeedSound();
      SDL_Event e;
      if (SDL_WaitEventTimeout(&e, static_cast<int>(std::max<uint32_t>(wait, 1)))) {
        Handle(e);
        while (SDL_PollEvent(&e))
          Handle(e);
      }
    }
  }

private:
  void Fail(const std::string &message) {
    std::fprintf(stderr, "zxplay: %s\n", message.c_str());
    DropSound();
    FFilm.reset();
    FMessage = message;
    FState = TState::Finished;
    FDirty = true;
    if (FOptions.CloseOnFinish) FQuit = true;
  }

  // At MAX a frame a refresh of the display (no frame drawn that the
  // display could not show), else the player's clock.
  int32_t Period() const {
    if (FSpeed == SpeedPositions - 1) {
      SDL_DisplayMode mode{};
      const int display = SDL_GetWindowDisplayIndex(FWindow.get());
      const int hz =
          display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0
              ? mode.refresh_rate
              : 60;
      return std::max(1, 1000 / hz);
    }
    const TSegmentInfo &s = FFilm->Segment(FPos.Entry);
    return TimerPeriodFor(s.FramesPerSecond, FFilm->TicksPerFrame(), FSpeed);
  }

  // Shows frame p from its first tick; a frame that cannot be shown moves
  // on to the next segment.
  void GoTo(TzxFilmPosition p) {
    const TzxFilmTimeline &t = FFilm->Timeline();
    for (;;) {
      if (FFilm->Seek(p)) break;
      if (p.Entry + 1 >= t.Count()) {
        Finish();
        return;
      }
      p = {p.Entry + 1, 0};
    }
    const bool other = p.Entry != FPos.Entry || !FFitted;
    FPos = p;
    ++FGoTos;
    if (!FPlayingOn) FJumped = true;
    FTick = 0;
    // Unscaled where the window has not been made full screen.
    if (other && (SDL_GetWindowFlags(FWindow.get()) & SDL_WINDOW_FULLSCREEN_DESKTOP) == 0)
      FitWindow();
    FFitted = true;
    FNextTick = SDL_GetTicks64() + Period();
    FDirty = true;
    Report();
  }

  void Tick() {
    if (FSpeed == SpeedPositions - 1) FTick = FFilm->TicksPerFrame(); // whole frames
    if (++FTick < FFilm->TicksPerFrame()) {
      FDirty = true;
      return;
    }
    TzxFilmPosition p = FPos;
    if (!FFilm->Timeline().Step(p, 1)) {
      Finish();
      return;
    }
    const uint64_t next = FNextTick;
    FPlayingOn = true;
    GoTo(p);
    FPlayingOn = false;
    FNextTick = next;
  }

  void Finish() {
    if (FOptions.Loop && FState == TState::Playing) {
      FPlayingOn = false; // the sound starts again too
      GoTo({});
      return;
    }
    FState = TState::Finished;
    FTick = 0;
    FDirty = true;
    Report();
    if (FOptions.CloseOnFinish) FQuit = true;
  }

  void SetState(TState s) {
    FState = s;
    FTick = 0; // a paused frame shows as it opens
    FNextTick = SDL_GetTicks64() + Period();
    FDirty = true;
    Report();
  }

  void Seek(double seconds) {
    const TState s = FState == TState::Finished ? TState::Paused : FState;
    GoTo(FFilm->Timeline().PositionAt(seconds));
    if (FState != TState::Finished) FState = s;
    ShowText();
    Report();
  }

  void Act(const TzxKeyAction &a) {
    if (a.Action == TzxAction::Quit) FQuit = true;
    if (a.Action == TzxAction::FullScreen) {
      const bool full = (SDL_GetWindowFlags(FWindow.get()) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
      SDL_SetWindowFullscreen(FWindow.get(), full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
      // Back in a window, the picture is shown at its own size again.
      if (full && FFilm) FitWindow();
      FDirty = true;
    }
    if (!FFilm) return;
    const TzxFilmTimeline &t = FFilm->Timeline();
    const double now = t.TimeOf(FPos);
    TzxFilmPosition p = FPos;
    switch (a.Action) {
    case TzxAction::TogglePause:
      if (FState == TState::Finished) GoTo({});
      SetState(FState == TState::Playing ? TState::Paused : TState::Playing);
      break;
    case TzxAction::SeekBy: Seek(now + a.Seconds); break;
    case TzxAction::FrameBack:
    case TzxAction::FrameForward:
      if (FState == TState::Playing) break;
      if (t.Step(p, a.Action == TzxAction::FrameBack ? -1 : 1)) {
        GoTo(p);
        FState = TState::Paused;
        Report();
      }
      break;
    case TzxAction::Slower:
    case TzxAction::Faster:
      FSpeed = StepSpeed(FSpeed, a.Action == TzxAction::Slower ? -1 : 1);
      FNextTick = SDL_GetTicks64() + Period();
      ShowText();
      Report();
      break;
    case TzxAction::PreviousSegment:
      // Back to this segment's start, or from there to the one before.
      Seek(t.Entry(FPos.Frame == 0 && FPos.Entry > 0 ? FPos.Entry - 1 : FPos.Entry).Start);
      break;
    case TzxAction::NextSegment:
      if (FPos.Entry + 1 < t.Count()) Seek(t.Entry(FPos.Entry + 1).Start);
      break;
    case TzxAction::FilmStart: Seek(0); break;
    case TzxAction::FilmEnd: Seek(t.Seconds()); break;
    case TzxAction::Mute:
      FMuted = !FMuted;
      ShowText();
      Report();
      break;
    default: break;
    }
  }

  static TzxKey KeyOf(SDL_Keycode k) {
    switch (k) {
    case SDLK_LEFT: return TzxKey::Left;
    case SDLK_RIGHT: return TzxKey::Right;
    case SDLK_UP: return TzxKey::Up;
    case SDLK_DOWN: return TzxKey::Down;
    case SDLK_PAGEUP: return TzxKey::PageUp;
    case SDLK_PAGEDOWN: return TzxKey::PageDown;
    case SDLK_HOME: return TzxKey::Home;
    case SDLK_END: return TzxKey::End;
    case SDLK_ESCAPE: return TzxKey::Escape;
    default: return k >= 32 && k < 127 ? TzxKey::Character : TzxKey::Other;
    }
  }

  void Handle(const SDL_Event &e) {
    switch (e.type) {
    case SDL_QUIT: FQuit = true; break;
    case SDL_KEYDOWN: {
      FInputAt = e.key.timestamp;
      FDirty = FRedraw = true; // shown even where the picture stays as it was
      const SDL_Keycode k = e.key.keysym.sym;
      Act(ActionForKey(KeyOf(k), k >= 32 && k < 127 ? static_cast<char>(k) : 0));
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT && InBar(e.button.y)) {
        FInputAt = e.button.timestamp;
        FDirty = FRedraw = FDragging = true;
        SeekToPixel(e.button.x);
      }
      break;
    case SDL_MOUSEMOTION:
      if (FDragging) SeekToPixel(e.motion.x);
      break;
    case SDL_MOUSEBUTTONUP: FDragging = false; break;
    case SDL_DROPFILE: {
      const std::unique_ptr<char, decltype(&SDL_free)> file(e.drop.file, SDL_free);
      Load(file.get(), false);
      break;
    }
    case SDL_WINDOWEVENT: FDirty = FRedraw = true; break;
    default: break;
    }
  }

  bool InBar(int32_t y) const {
    int w = 0, h = 0;
    SDL_GetWindowSize(FWindow.get(), &w, &h);
    return y >= h - BarHeight && y < h;
  }
  void SeekToPixel(int32_t x) {
    if (!FFilm) return;
    int w = 0, h = 0;
    SDL_GetWindowSize(FWindow.get(), &w, &h);
    Seek(TzxSeekBar{0, w}.TimeAt(x, FFilm->Timeline().Seconds()));
  }

  void ShowText() {
    FTextUntil = SDL_GetTicks64() + TextShownMs;
    FDirty = true;
  }

  // The window as large as the picture (unscaled) with the panel under it.
  // A picture larger than the screen's usable part is shown smaller, its
  // shape kept, and the window is moved to lie within it.
  void FitWindow() {
    const TSegmentInfo &s = FFilm->Segment(FPos.Entry);
    int32_t w = std::max(s.Width, 160), h = s.Height + PanelHeight;
    SDL_Rect usable{};
    const int display = SDL_GetWindowDisplayIndex(FWindow.get());
    const bool bounded = display >= 0 && SDL_GetDisplayUsableBounds(display, &usable) == 0 &&
                         usable.w > 160 && usable.h > PanelHeight * 2;
    if (bounded && (w > usable.w || h > usable.h)) {
      const double f = std::min(double(usable.w) / std::max(s.Width, 1),
                                double(usable.h - PanelHeight) / std::max(s.Height, 1));
      w = std::max(160, static_cast<int32_t>(s.Width * f));
      h = static_cast<int32_t>(s.Height * f) + PanelHeight;
    }
    SDL_SetWindowSize(FWindow.get(), w, h);
    if (bounded) {
      int x = 0, y = 0;
      SDL_GetWindowPosition(FWindow.get(), &x, &y);
      x = std::clamp(x, usable.x, std::max(usable.x, usable.x + usable.w - w));
      y = std::clamp(y, usable.y, std::max(usable.y, usable.y + usable.h - h));
      SDL_SetWindowPosition(FWindow.get(), x, y);
    }
    FDirty = true;
  }

  // Each change of the state: the sound follows it, and the test hook
  // hears of it.
  void Report() {
    if (!FHook.empty() && FFilm) {
      std::printf("state %s %d %d %d %s\n", StateName(FState),
                  FFilm->Timeline().Entry(FPos.Entry).Number, FPos.Frame, FSpeed,
                  FMuted ? "muted" : "sound");
      std::fflush(stdout);
    }
    SyncSound();
  }

  void DropSound() {
    if (FAudio) FAudio->Stop();
    FSound.reset();
    FSoundEntry = -1;
    FFollower = {};
    FSoundWarned.clear();
  }

  // Starts or stops the sound as the picture's state asks.
  void SyncSound() {
    if (!FFilm) return;
    const bool jumped = FJumped;
    FJumped = false;
    const TzxSoundChange c =
        FFollower.Update({FPos, FState == TState::Playing, FSpeed, FMuted}, jumped);
    if (c == TzxSoundChange::Keep) return;
    if (FAudio) FAudio->Stop();
    if (c == TzxSoundChange::Stop) return;
    TzxMp3Stream *sound = SoundOf(FPos.Entry);
    if (!sound || !OpenAudio(*sound)) return;
    const TzxPlayEntry &e = FFilm->Timeline().Entry(FPos.Entry);
    const int64_t from =
        SoundSampleAt(FPos.Frame, FTick, FFilm->TicksPerFrame(), e.Fps, sound->Rate());
    FAudio->Play(*sound, from);
    FDriftCheckAt = SDL_GetTicks64() + 1000;
    if (FHook.empty()) return;
    std::printf("sound %d %d %lld\n", e.Number, FPos.Frame, static_cast<long long>(from));
    std::fflush(stdout);
  }

  // The sound of an entry's segment, opened as it is first asked for;
  // nullptr when it has none or it holds no sound (said once).
  TzxMp3Stream *SoundOf(int32_t entry) {
    if (entry == FSoundEntry) return FSound.get();
    FSoundEntry = entry;
    FSound.reset();
    const TSegmentInfo &s = FFilm->Segment(entry);
    if (s.SoundFileName.empty() || !FileExists(s.SoundFileName)) return nullptr;
    try {
      FSound = std::make_unique<TzxMp3Stream>(s.SoundFileName);
    } catch (const EzxError &e) {
      WarnSound(entry, e.what());
    }
    return FSound.get();
  }

  void WarnSound(int32_t entry, const std::string &problem) {
    if (FSoundWarned.insert(entry).second)
      std::fprintf(stderr, "zxplay: %s, segment %d plays without sound: %s\n",
                   FFilm->Name().c_str(), FFilm->Timeline().Entry(entry).Number, problem.c_str());
  }

  // Keeps the sound's queue filled; damaged sound data is said once.
  // The sound plays by the audio device's clock, the picture by the
  // system's: when the two have drifted apart by more than DriftMs, the
  // sound starts again from the frame shown.
  void FeedSound() {
    if (!FAudio || !FAudio->Playing()) return;
    FAudio->Feed();
    const uint64_t now = SDL_GetTicks64();
    if (FFilm && FSound && now >= FDriftCheckAt) {
      FDriftCheckAt = now + 1000;
      const TzxPlayEntry &e = FFilm->Timeline().Entry(FPos.Entry);
      const int64_t shown =
          SoundSampleAt(FPos.Frame, FTick, FFilm->TicksPerFrame(), e.Fps, FSound->Rate());
      const int64_t heard = FAudio->Heard();
      if (heard >= 0 && std::llabs(heard - shown) > int64_t(FSound->Rate()) * DriftMs / 1000) {
        FAudio->Play(*FSound, shown);
        if (!FHook.empty()) {
          std::printf("resync %d %d %lld %lld\n", e.Number, FPos.Frame,
                      static_cast<long long>(shown), static_cast<long long>(heard));
          std::fflush(stdout);
        }
      }
    }
    if (FSound && !FSound->Damage().empty() && FFilm)
      WarnSound(FSoundEntry, FSound->Damage() + ": the rest is silent");
  }

  // An audio device for the sound's rate and channels; false without one
  // (said once).
  bool OpenAudio(const TzxMp3Stream &sound) {
    if (FAudio && FAudio->Rate() == sound.Rate() && FAudio->Channels() == sound.Channels())
      return true;
    if (FNoAudio) return false;
    FAudio.reset();
    try {
      FAudio = std::make_unique<TzxAudioDevice>(sound.Rate(), sound.Channels());
    } catch (const EzxError &e) {
      std::fprintf(stderr, "zxplay: the films play without sound: %s\n", e.what());
      FNoAudio = true;
      return false;
    }
    if (!FHook.empty()) {
      std::printf("audio %d %d s16\n", FAudio->Rate(), FAudio->Channels());
      std::fflush(stdout);
    }
    return true;
  }

  // The panel: the text line (while paused, or a moment after an action)
  // over the seek bar with its segment marks.
  void DrawPanel(int32_t w) {
    FPanelPicture.Width = w;
    FPanelPicture.Height = PanelHeight;
    FPanelPicture.Pixels.assign(size_t(w) * PanelHeight * 3, 24);
    std::string text = FMessage;
    if (FFilm && (FState != TState::Playing || FTextUntil != 0)) {
      const TzxFilmTimeline &t = FFilm->Timeline();
      text = Format("%d %s  %s / %s  %s%s%s", t.Entry(FPos.Entry).Number,
                    AnsiToUtf8(FFilm->Segment(FPos.Entry).TitleText()).c_str(),
                    TimeText(t.TimeOf(FPos)).c_str(), TimeText(t.Seconds()).c_str(),
                    SpeedText(FSpeed).c_str(), FState == TState::Paused ? "  paused" : "",
                    FMuted ? "  muted" : "");
    }
    if (!FFilm && text.empty()) text = "Drop a film (.zxf) here";
    DrawText(FPanelPicture, 3, 2, text, 230, 230, 230);
    if (!FFilm) return;
    const TzxFilmTimeline &t = FFilm->Timeline();
    const TzxSeekBar bar{0, w};
    const int32_t at = bar.PixelOf(t.TimeOf(FPos), t.Seconds());
    for (int32_t y = TextHeight + 2; y < PanelHeight - 2; ++y)
      for (int32_t x = 0; x < w; ++x) {
        uint8_t *p = FPanelPicture.At(x, y);
        const uint8_t v = x <= at ? 200 : 80;
        p[0] = v, p[1] = x <= at ? 120 : v, p[2] = x <= at ? 40 : v;
      }
    for (const int32_t x : bar.Marks(t))
      for (int32_t y = TextHeight; y < PanelHeight; ++y)
        if (x >= 0 && x < w) std::memset(FPanelPicture.At(x, y), 255, 3);
  }

  // Paints the window where anything in it changed (or the window system
  // asks for it): the picture, scaled into the space above the panel with
  // its shape kept, and the panel.
  void Present() {
    FDirty = false;
    int w = 0, h = 0;
    SDL_GetWindowSize(FWindow.get(), &w, &h);
    // The same frame at the same tick is the same picture: not made again.
    const TRendered now{FFilm ? FFilm->Timeline().Entry(FPos.Entry).Number : -1, FPos.Frame, FTick,
                        FGoTos};
    TzxRowSpan changed;
    if (FFilm && FState != TState::Finished && !(now == FRendered)) {
      changed = FFilm->Render(FFrame, FTick);
      FRendered = now;
    }
    const bool picture = FFilm && FFrame.Width > 0;
    SDL_Rect shown{0, 0, 0, 0};
    if (picture) {
      const int32_t aw = w, ah = std::max(h - PanelHeight, 1);
      const double f = std::min(double(aw) / FFrame.Width, double(ah) / FFrame.Height);
      shown.w = std::max(1, static_cast<int32_t>(std::lround(FFrame.Width * f)));
      shown.h = std::max(1, static_cast<int32_t>(std::lround(FFrame.Height * f)));
      shown.x = (aw - shown.w) / 2;
      shown.y = (ah - shown.h) / 2;
    }
    DrawPanel(w);
    const bool sent = FPainter->Paint(picture ? &FFrame : nullptr, shown, changed, FPanelPicture,
                                      FRedraw || ShotAsked);
    FRedraw = false;
    if (ShotAsked) {
      ShotAsked = 0;
      Shot(shown);
    }
    if (!sent) return;
    ++FPresents;
    if (FInputAt != 0 && !FHook.empty() && FFilm) {
      std::printf("presented %d %d %u\n", FFilm->Timeline().Entry(FPos.Entry).Number, FPos.Frame,
                  SDL_GetTicks() - FInputAt);
      std::fflush(stdout);
    }
    FInputAt = 0;
  }

  // The test hook's picture: what the window shows of the frame.
  void Shot(const SDL_Rect &shown) {
    if (FHook.empty() || !FFilm || shown.w <= 0) return;
    TzxRgbPicture p;
    if (!FPainter->Read(shown, p)) {
      std::fprintf(stderr, "zxplay: cannot read the window back: %s\n", SDL_GetError());
      return;
    }
    if (std::FILE *f = std::fopen(FHook.c_str(), "wb")) {
      std::fprintf(f, "P6\n%d %d\n255\n", p.Width, p.Height);
      std::fwrite(p.Pixels.data(), 1, p.Pixels.size(), f);
      std::fclose(f);
    }
    std::printf("shot %d %d %s %d %d\n", FFilm->Timeline().Entry(FPos.Entry).Number, FPos.Frame,
                PictureSha256(p).c_str(), p.Width, p.Height);
    std::fflush(stdout);
  }

  TOptions FOptions;
  std::string FHook;
  TWindow FWindow;
  std::unique_ptr<TWindowPainter> FPainter;
  std::unique_ptr<TFilm> FFilm;
  std::string FMessage; // why no film plays
  TzxRgbPicture FFrame, FPanelPicture;
  // What FFrame holds: a segment's frame at a tick, after the FGoTos-th
  // GoTo.
  struct TRendered {
    int32_t Segment = -1, Frame = -1, Tick = -1;
    int64_t GoTos = -1;
    bool operator==(const TRendered &) const = default;
  } FRendered;
  int64_t FGoTos = 0;
  bool FRedraw = true; // the window system wants the whole window again
  TState FState = TState::Finished;
  TzxFilmPosition FPos;
  int32_t FTick = 0;
  int32_t FSpeed = NormalSpeedPosition;
  uint64_t FNextTick = 0, FTextUntil = 0;
  uint32_t FInputAt = 0; // SDL's time of the key or click not yet shown
  uint64_t FDriftCheckAt = 0;
  int64_t FPresents = 0;
  bool FDirty = true, FQuit = false, FDragging = false, FMuted = false, FFitted = false;
  // The sound: FJumped when the picture got to its frame other than by
  // playing on (FPlayingOn while it does).
  TzxSoundFollower FFollower;
  bool FJumped = true, FPlayingOn = false, FNoAudio = false;
  std::unique_ptr<TzxAudioDevice> FAudio;
  std::unique_ptr<TzxMp3Stream> FSound; // of entry FSoundEntry; FAudio reads it only in Feed
  int32_t FSoundEntry = -1;
  std::set<int32_t> FSoundWarned; // entries
};

int32_t ParseSpeed(const std::string &text) {
  if (text == "max" || text == "MAX") return SpeedPositions - 1;
  for (int32_t i = 0; i + 1 < SpeedPositions; ++i)
    if (std::strtod(text.c_str(), nullptr) == double(SpeedFactors[i]) && !text.empty()) return i;
  throw EzxUsageError(
      Format("--speed %s: expected 0.1, 0.25, 0.5, 1, 2, 3, 5, 10 or max", text.c_str()));
}

} // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  TOptions o;
  std::string segment, speed, start;
  TzxCommandLine cl(
      "", "Plays a film or the film of a self-playing executable in a window: each segment in "
          "turn at its recorded rate with the recorded cursor. Without FILM the window takes a "
          "film dropped on it.\n\nKeys: Space pause/resume, Left/Right 5 s back/on, Up/Down a "
          "minute on/back, ',' '.' a frame back/on while paused, '[' ']' slower/faster (0.1x .. "
          "10x, MAX), Page Up/Page Down the segment before/after, Home/End, f full screen, m "
          "mute, q or Escape quit. Click or drag on the bar under the picture to go anywhere in "
          "the film.\n\nEach segment's sound plays with its picture at normal speed (1x) only: "
          "at other speeds, while paused or muted the film is silent.");
  cl.name("zxplay");
  cl.add_option("FILM", o.Film, "a film or a self-playing executable")->type_name("");
  cl.add_option("--segment", segment, "start with the segment numbered N")->type_name("N");
  cl.add_option("--speed", speed, "0.1, 0.25, 0.5, 1 (default), 2, 3, 5, 10 or max")
      ->type_name("F");
  cl.add_option("--start", start, "start at this moment (of --segment, else of the film)")
      ->type_name("TIME");
  cl.add_flag("--fullscreen", o.FullScreen, "full screen");
  cl.add_flag("--loop", o.Loop, "start again at the end");
  cl.add_flag("--close-on-finish", o.CloseOnFinish, "quit at the end (or when the film fails)");
  bool version = false;
  cl.add_flag("--version", version, "print the version and exit");
  cl.Notes(std::string(SegmentNumbering) + " " + TimeSyntax);
  try {
    if (!cl.Parse(args)) return 0;
    if (version) {
      std::printf("zxplay %s\n", ZX_VERSION);
      return 0;
    }
    if (!segment.empty()) o.Segment = ParseSegmentNumber("--segment", segment);
    if (!speed.empty()) o.Speed = ParseSpeed(speed);
    if (!start.empty()) o.Start = ParseTimeValue("--start", start);
  } catch (const EzxUsageError &e) {
    std::fprintf(stderr, "zxplay: %s; see zxplay --help\n", e.what());
    return 2;
  }
  CatchInterrupts();
  // A closed standard output makes writes fail instead of ending the player
  // before it has removed its files.
  std::signal(SIGPIPE, SIG_IGN);
  if (std::getenv("ZXPLAY_TEST_HOOK")) std::signal(SIGUSR1, OnShotSignal);
  try {
    TSdl sdl;
    TPlayer player(o);
    if (!o.Film.empty()) player.Load(o.Film, true);
    const int code = player.Run();
    if (code > 128) std::fprintf(stderr, "zxplay: interrupted\n");
    return code;
  } catch (const EzxError &e) {
    std::fprintf(stderr, "zxplay: %s\n", e.what());
  } catch (const std::exception &e) {
    std::fprintf(stderr, "zxplay: %s\n", e.what());
  }
  return InterruptSignal() ? 128 + InterruptSignal() : 1;
}
