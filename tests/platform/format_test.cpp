#include "platform/format.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatTwoDigits, PadsToTwoDigitsAndKeepsLongerNumbersWhole) {
  const struct {
    qint64 n;
    const char* text;
  } cases[] = {{0, "00"},    {7, "07"},      {10, "10"}, {59, "59"},
               {255, "255"}, {2026, "2026"}, {-3, "-03"}};
  for (const auto& c : cases) EXPECT_EQ(formatTwoDigits(c.n), QString::fromLatin1(c.text)) << c.n;
}

}  // namespace
