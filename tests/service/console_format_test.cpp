#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <string>
#include <vector>

#include "service/ctrl_cmd_dialog.h"

namespace {

std::string Line(std::uint16_t word, const char*& tag) {
  char out[32];
  service::FormatEventLine(word, tag, out, sizeof out);
  return out;
}

TEST(EventLine, ShowsChannelTagAndValueOfEachKind) {
  struct Case {
    const char* name;
    std::uint16_t word;
    const char* line;
  };
  const Case cases[] = {
      {"ID keeps bits 0-11", 0x8123, " Ch:1, ID, Val:0x123\r\n"},
      {"CR drops bits 10-11", 0x3456, " Ch:4, CR, Val:0x056\r\n"},
      {"NF drops bits 10-11", 0x1A05, " Ch:2, NF, Val:0x205\r\n"},
      {"DI drops bit 8, keeps bit 9", 0x7305, " Ch:8, DI, Val:0x205\r\n"},
      {"ID with channel bits all set", 0xFFFF, " Ch:8, ID, Val:0xFFF\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const char* tag = nullptr;
    EXPECT_EQ(Line(c.word, tag), c.line);
    EXPECT_EQ(std::string(c.line).size(), service::kEventLineLength);
  }
}

TEST(EventLine, UntaggedWordTakesPreviousTagOrShowsUnknown) {
  // Bits 11-10 both set, and bits 11-10 clear with bit 8 clear: no tag of their own.
  const char* tag = nullptr;
  EXPECT_EQ(Line(0x0C12, tag), " Ch:1, ??, Val:0x012\r\n");
  EXPECT_EQ(Line(0x2205, tag), " Ch:3, ??, Val:0x205\r\n");
  EXPECT_EQ(Line(0x0412, tag), " Ch:1, CR, Val:0x012\r\n");
  EXPECT_EQ(Line(0x0C12, tag), " Ch:1, CR, Val:0x012\r\n");
  EXPECT_EQ(Line(0x0012, tag), " Ch:1, CR, Val:0x012\r\n");
}

TEST(StatusText, FormatsTheAnswerFields) {
  struct Case {
    const char* name;
    std::int32_t n;
    std::vector<std::uint8_t> answer;
    const char* text;
  };
  const Case cases[] = {
      {"full answer, 5.00 V",
       7,
       {0xA0, 5, 144, 0, 1, 2, 3},
       "Ld:5, Vs:5.00 V\r\nFLc:0, STc:1, VFc:2, FBc:3"},
      {"lowest reading 3.90 V", 3, {0xA0, 0, 0}, "Ld:0, Vs:3.90 V\r\n"},
      {"highest reading 6.38 V", 3, {0xA5, 255, 255}, "Ld:255, Vs:6.38 V\r\n"},
      {"status byte alone is empty", 1, {0xA0}, ""},
      {"two bytes show Ld only", 2, {0xAF, 9}, "Ld:9, "},
      {"power off", 7, {0x5A, 5, 144, 0, 1, 2, 3}, "Power is OFF"},
      {"refused query", -1, {}, "Error"},
      {"no answer bytes", 0, {}, "Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(service::FormatStatus(c.n, c.answer), c.text);
  }
}

TEST(StatusText, VoltageKeepsItsDecimalPointInACommaLocale) {
  // A window toolkit may set the C locale from the environment; the status text must not follow.
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8",
                           "ru_RU.utf8", "nl_NL.UTF-8", "nl_NL.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      comma = name;
      break;
    }
  }
  if (comma == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::vector<std::uint8_t> answer{0xA0, 5, 144};
  const std::string text = service::FormatStatus(3, answer);
  std::setlocale(LC_NUMERIC, before.c_str());
  EXPECT_EQ(text, "Ld:5, Vs:5.00 V\r\n") << comma;
}

TEST(StatusText, NeverReadsPastTheAnswerBuffer) {
  // A count far beyond the buffer: only the six field bytes of the 32 stored ones are read.
  std::vector<std::uint8_t> answer(32, 7);
  answer[0] = 0xA0;
  EXPECT_EQ(service::FormatStatus(5000, answer), "Ld:7, Vs:3.94 V\r\nFLc:7, STc:7, VFc:7, FBc:7");
  // A buffer shorter than the count claims (a caller's short buffer) is not overrun either.
  const std::vector<std::uint8_t> shortAnswer{0xA0, 5};
  EXPECT_EQ(service::FormatStatus(7, shortAnswer), "Ld:5, ");
}

}  // namespace
