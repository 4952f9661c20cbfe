// The JSON reader that takes ffprobe's answers: values, escapes, what a
// lookup of something missing gives, and text that is no JSON.
#include "zxJson.h"

#include "zxClasses.h"

#include <gtest/gtest.h>

TEST(ToolJson, FfprobeAnswerWithNestedTagsAndNumbersAsText) {
  const TzxJson doc = TzxJson::Parse(R"({
    "programs": [ ],
    "streams": [
        { "index": 0, "codec_type": "video", "width": 742, "avg_frame_rate": "30000/1001",
          "tags": { "DURATION": "00:02:30.000000000", "title": "caf\u00e9 \ud83d\ude00" },
          "nb_frames": "4500", "start_time": "-0.021333" },
        { "index": 1, "codec_type": "audio", "sample_rate": "44100", "channels": 2,
          "start_time": "N/A", "disposition": { "default": 1, "dub": false, "forced": true } }
    ],
    "format": { "duration": "150.016000", "size": 1e3 }
  })");
  const auto &streams = doc["streams"].Items();
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0]["width"].Number(), 742);
  EXPECT_EQ(streams[0]["avg_frame_rate"].Text(), "30000/1001");
  EXPECT_EQ(streams[0]["nb_frames"].Number(), 4500);
  EXPECT_DOUBLE_EQ(streams[0]["start_time"].Number(), -0.021333);
  EXPECT_EQ(streams[0]["tags"]["title"].Text(), "caf\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(streams[1]["sample_rate"].Number(), 44100);
  EXPECT_EQ(streams[1]["start_time"].Number(7), 7) << "N/A is no number";
  EXPECT_TRUE(streams[1]["disposition"]["forced"].Bool());
  EXPECT_FALSE(streams[1]["disposition"]["dub"].Bool());
  EXPECT_EQ(streams[1]["disposition"]["dub"].Kind(), TzxJson::TKind::Bool);
  EXPECT_EQ(doc["format"]["size"].Number(), 1000);
  EXPECT_TRUE(doc["programs"].Items().empty());
  // What is not there reads as null, through any depth.
  EXPECT_TRUE(doc["chapters"]["x"]["z"].IsNull());
  EXPECT_EQ(doc["format"]["bit_rate"].Number(-1), -1);
  EXPECT_TRUE(doc["streams"]["codec_type"].IsNull()) << "an array has no members";
  EXPECT_TRUE(streams[0]["width"].Items().empty());
}

TEST(ToolJson, EscapesAndNumbersAsWritten) {
  const TzxJson v = TzxJson::Parse(R"(["a\"b\\c\/d\n\t\b\f\r", "\u0041\u00FF\u20ac", -0.5e-2,
                                       "\udc00", "nan", "1e999", null, "12abc"])");
  const auto &items = v.Items();
  ASSERT_EQ(items.size(), 8u);
  EXPECT_EQ(items[0].Text(), "a\"b\\c/d\n\t\b\f\r");
  EXPECT_EQ(items[1].Text(), "A\xC3\xBF\xE2\x82\xAC");
  EXPECT_EQ(items[2].Text(), "-0.5e-2");
  EXPECT_DOUBLE_EQ(items[2].Number(), -0.005);
  EXPECT_EQ(items[3].Text(), "\xEF\xBF\xBD") << "a lone surrogate";
  EXPECT_EQ(items[4].Number(3), 3);
  EXPECT_EQ(items[5].Number(3), 3);
  EXPECT_TRUE(items[6].IsNull());
  EXPECT_EQ(items[7].Number(3), 3) << "only a whole string is a number";
}

TEST(ToolJson, TextThatIsNoJsonSaysWhere) {
  const struct {
    std::string Text, About;
  } cases[] = {
      {"", "byte 1: a value is missing"},
      {"{\"a\": 1,}", "a member name is missing"},
      {"{\"a\" 1}", "a ':' is missing"},
      {"[1, 2", "an array is not closed"},
      {"{\"a\": 1", "an object is not closed"},
      {"\"abc", "a string is not closed"},
      {"\"a\nb\"", "a control character"},
      {"\"\\x\"", "an unknown escape"},
      {"\"\\u12xy\"", "no hex digit"},
      {"\"\\u12", "cut short"},
      {"\"\\ud83d\\u0041\"", "a surrogate pair is broken"},
      {"1.2.3", "a malformed number"},
      {"{} {}", "byte 4: text after the end"},
      {"tru", "an unexpected character"},
      {std::string(100, '[') + std::string(100, ']'), "nested too deeply"},
  };
  for (const auto &c : cases) {
    try {
      TzxJson::Parse(c.Text);
      ADD_FAILURE() << "taken: " << c.Text;
    } catch (const EzxError &e) {
      EXPECT_NE(std::string(e.what()).find(c.About), std::string::npos)
          << c.Text << ": " << e.what();
    }
  }
}
