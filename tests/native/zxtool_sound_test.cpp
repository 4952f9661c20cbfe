// zxtool make and sound: a video's own sound and --sound files of any kind
// FFmpeg reads end up as MP3 the player plays (a frame header first, no
// tags, no Xing/Info frame), aligned to the segment's first picture and cut
// to its length; --no-sound leaves it out; what was converted is said.
#include "zxToolTesting.h"

#include "ZxcabClasses.h"
#include "zxFfmpegPipe.h"
#include "zxLoader.h"
#include "zxMp3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

void Ffmpeg(const std::string &args) {
  const std::string cmd = "ffmpeg -hide_banner -nostdin -v error -y " + args;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// A 32 x 24 video at 10 fps lasting videoSeconds, with lossless sound.
// delay: how much later than the other stream the video (> 0) or the
// sound (< 0) starts.
std::string MakeVideo(const TzxTestDir &dir, const std::string &name, double videoSeconds,
                      const std::string &sound, double delay = 0) {
  const std::string video =
      Format("-f lavfi -i testsrc=size=32x24:rate=10:duration=%g", videoSeconds);
  const std::string audio = "-f lavfi -i '" + sound + "'";
  const std::string videoIn = delay > 0 ? Format("-itsoffset %g ", delay) + video : video;
  const std::string audioIn = delay < 0 ? Format("-itsoffset %g ", -delay) + audio : audio;
  Ffmpeg(videoIn + " " + audioIn + " -c:v ffv1 -c:a pcm_s16le " + dir.File(name));
  return dir.File(name);
}

// What the player needs of a segment's sound: a Layer III frame header
// first, no tag, no Xing/Info frame. Returns the format record.
TzxMpegLayer3WaveFormat ExpectPlayable(const std::string &sound) {
  TzxMpegLayer3WaveFormat format{};
  const TzxBytes b = ReadWholeFile(sound);
  EXPECT_GE(b.size(), 40u);
  if (b.size() < 40) return format;
  EXPECT_EQ(Mp3FormatFromHeader(b.data(), format), TzxMp3Header::Layer3);
  TzxFileStream f(sound, fmOpenRead | fmShareDenyNone);
  const TzxMp3Audio a = FindMp3Audio(f);
  EXPECT_TRUE(a.StartsWithFrame);
  EXPECT_EQ(a.Offset, 0);
  EXPECT_EQ(a.InfoFrameBytes, 0);
  EXPECT_EQ(a.TrailerBytes, 0);
  return format;
}

bool Mono(const std::string &sound) {
  const TzxBytes b = ReadWholeFile(sound);
  return b.size() >= 4 && (b[3] >> 6) == 3;
}

// The loudness of the sound from one time to another (seconds), decoded to
// 8 kHz mono 16-bit.
double Rms(const std::string &sound, double from, double to, const TzxTestDir &dir) {
  Ffmpeg("-i " + sound + " -ac 1 -ar 8000 -f s16le " + dir.File("pcm.raw"));
  const TzxBytes pcm = ReadWholeFile(dir.File("pcm.raw"));
  double sum = 0;
  size_t n = 0;
  for (size_t i = size_t(from * 8000); i < size_t(to * 8000) && 2 * i + 1 < pcm.size(); ++i, ++n) {
    const auto v = static_cast<int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
    sum += double(v) * v;
  }
  return n == 0 ? 0 : std::sqrt(sum / double(n));
}

const char *const Tone = "sine=frequency=440:sample_rate=44100:duration=3";

} // namespace

TEST(ZxtoolMakeSound, AVideoKeepsItsSoundAsMp3CutToTheSegment) {
  TzxTestDir dir;
  const struct {
    std::string Sound, Said;
    int32_t Rate;
    bool Mono;
  } cases[] = {
      {Tone, "(pcm_s16le, 44100 Hz, mono) to MP3 (44100 Hz, mono, 64 kbit/s)", 44100, true},
      {"sine=frequency=300:sample_rate=48000:duration=3,pan=stereo|c0=c0|c1=0.5*c0",
       "(pcm_s16le, 48000 Hz, stereo) to MP3 (48000 Hz, stereo, 128 kbit/s)", 48000, false},
      {"sine=frequency=300:sample_rate=16000:duration=3",
       "(pcm_s16le, 16000 Hz, mono) to MP3 (16000 Hz, mono, 32 kbit/s)", 16000, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Sound);
    const std::string video = MakeVideo(dir, "in.mkv", 2, c.Sound); // 3 s of sound
    const std::string film = dir.File("v.zxf");
    const TzxRun r = RunZxtool("make --input " + video + " -y -o " + film, dir);
    ASSERT_EQ(r.Code, 0) << ErrorText(dir);
    EXPECT_EQ(ErrorText(dir), "zxtool: segment 1: converted the sound of " + video + " " + c.Said +
                                  ", cut to the segment's 2.00 s\n");
    const auto loaded = LoadTestFilm(film);
    const TSegmentInfo &s = *loaded->List.Get(0);
    EXPECT_EQ(s.FrameCount, 20);
    EXPECT_NE(s.Flags & sfSoundMp3, 0);
    const TzxMpegLayer3WaveFormat format = ExpectPlayable(s.SoundFileName);
    EXPECT_EQ(format.wfx.nSamplesPerSec, uint32_t(c.Rate));
    EXPECT_EQ(Mono(s.SoundFileName), c.Mono);
    EXPECT_NEAR(ProbedDuration(s.SoundFileName), 2.0, 0.1);
  }
}

TEST(ZxtoolMakeSound, TheSoundIsAlignedToTheFirstPicture) {
  TzxTestDir dir;
  // The sound starts half a second after the first picture: silence first.
  const std::string late = MakeVideo(dir, "late.mkv", 2, Tone, -0.5);
  TzxRun r = RunZxtool("make --input " + late + " -o " + dir.File("late.zxf"), dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_NE(ErrorText(dir).find(", after 0.500 s of silence: the first picture comes before "
                                "the sound\n"),
            std::string::npos)
      << ErrorText(dir);
  auto loaded = LoadTestFilm(dir.File("late.zxf"));
  const std::string lateSound = loaded->List.Get(0)->SoundFileName;
  ExpectPlayable(lateSound);
  EXPECT_LT(Rms(lateSound, 0.05, 0.4, dir), 50);
  EXPECT_GT(Rms(lateSound, 0.6, 1.9, dir), 1000);
  EXPECT_NEAR(ProbedDuration(lateSound), 2.0, 0.1);

  // The picture starts half a second after the sound, whose first half
  // second is silent: what is kept starts with the tone.
  const std::string early =
      MakeVideo(dir, "early.mkv", 2,
                "aevalsrc=exprs=if(gte(t\\,0.5)\\,0.5*sin(2*PI*440*t)\\,0):s=44100:d=3", 0.5);
  r = RunZxtool("make --input " + early + " -o " + dir.File("early.zxf"), dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_NE(ErrorText(dir).find(", leaving out its first 0.500 s, which come before the first "
                                "picture\n"),
            std::string::npos)
      << ErrorText(dir);
  loaded = LoadTestFilm(dir.File("early.zxf"));
  const std::string earlySound = loaded->List.Get(0)->SoundFileName;
  ExpectPlayable(earlySound);
  EXPECT_GT(Rms(earlySound, 0.1, 0.4, dir), 1000);
  EXPECT_NEAR(ProbedDuration(earlySound), 2.0, 0.1);
}

TEST(ZxtoolMakeSound, NoSoundAndSoundFilesWinOverTheVideosOwn) {
  TzxTestDir dir;
  const std::string video = MakeVideo(dir, "in.mkv", 1, Tone);
  Ffmpeg("-f lavfi -i sine=frequency=600:sample_rate=96000:duration=0.5 -ac 2 " +
         dir.File("hi.wav"));
  // Defaults say no sound; the second segment brings a file of its own.
  const std::string film = dir.File("two.zxf");
  TzxRun r = RunZxtool("make --no-sound --input " + video + " --input " + video + " --sound " +
                           dir.File("hi.wav") + " --input " + video + " -o " + film,
                       dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir), "zxtool: segment 2: converted the sound of " + dir.File("hi.wav") +
                                " (pcm_s16le, 96000 Hz, stereo) to MP3 (48000 Hz, stereo, 128 "
                                "kbit/s), resampled as MPEG audio has no 96000 Hz\n");
  auto loaded = LoadTestFilm(film);
  ASSERT_EQ(loaded->List.Count(), 3);
  EXPECT_EQ(loaded->List.Get(0)->Flags & sfSoundMp3, 0);
  EXPECT_EQ(loaded->List.Get(2)->Flags & sfSoundMp3, 0);
  const std::string sound = loaded->List.Get(1)->SoundFileName;
  EXPECT_EQ(ExpectPlayable(sound).wfx.nSamplesPerSec, 48000u);
  EXPECT_FALSE(Mono(sound));
  EXPECT_NEAR(ProbedDuration(sound), 0.5, 0.1); // shorter than the segment: as it is

  // --sound, then --no-sound in one segment: the later counts.
  r = RunZxtool("make --input " + video + " --sound " + dir.File("hi.wav") + " --no-sound -y -o " +
                    film,
                dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir), "");
  EXPECT_EQ(LoadTestFilm(film)->List.Get(0)->Flags & sfSoundMp3, 0);
}

TEST(ZxtoolMakeSound, MpegAudioThePlayerCannotTakeAsItIsIsConverted) {
  TzxTestDir dir;
  WriteWholeFile(dir.File("in.bgra"), TzxBytes(size_t(8) * 8 * 4 * 10, 0x20)); // 1 s
  // Layer II, even under an .mp3 name, has no format record the player
  // could open its codec with.
  Ffmpeg("-f lavfi -i " + std::string(Tone) + " -c:a mp2 -f mp2 " + dir.File("layer2.mp3"));
  const std::string film = dir.File("s.zxf");
  const TzxRun r = RunZxtool("make --raw 8x8 --input " + dir.File("in.bgra") + " --sound " +
                                 dir.File("layer2.mp3") + " -o " + film,
                             dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir).rfind("zxtool: segment 1: converted the sound of " +
                                     dir.File("layer2.mp3") + " (mp2, 44100 Hz, mono) to MP3",
                                 0),
            0u)
      << ErrorText(dir);
  const auto loaded = LoadTestFilm(film);
  ExpectPlayable(loaded->List.Get(0)->SoundFileName);
  EXPECT_NEAR(ProbedDuration(loaded->List.Get(0)->SoundFileName), 1.0, 0.1);
}
