#include "monitor/graph.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDateTime>
#include <limits>
#include <map>
#include <vector>

#include "support/recording_drawing.h"

namespace {

using Kind = RecordingDrawing::Kind;
using Operation = RecordingDrawing::Operation;

// The window keeps the series in an array of this many counts; the graph reads 0..86399.
constexpr int kSeriesArrayLength = 86401;
constexpr int kZeroLevelY = 152;

QDateTime At(int year, int month, int day, int hour, int minute, int second) {
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

const QDateTime kNow = At(2024, 3, 7, 17, 9, 2);

std::vector<qint64> Series(const std::map<int, qint64>& counts = {}) {
  std::vector<qint64> cps(kSeriesArrayLength, 0);
  for (const auto& [index, count] : counts) cps[index] = count;
  return cps;
}

RecordingDrawing Paint(const std::vector<qint64>& cps, qint64 cpm_start = kNewestMinuteStart,
                       int scroll_value = kNewestMinuteStart, const QDateTime& now = kNow) {
  RecordingDrawing g;
  DrawCountRateGraph(g, cps.data(), cpm_start, scroll_value, now);
  return g;
}

std::vector<Operation> OfColor(const std::vector<Operation>& ops, QRgb color) {
  std::vector<Operation> result;
  for (const Operation& op : ops) {
    if (op.color == color) result.push_back(op);
  }
  return result;
}

// The y of each of the 60 samples, read back from the 59 pieces of the count line, which must
// join end to start.
std::vector<int> SampleYs(const RecordingDrawing& g) {
  const std::vector<Operation> pieces = OfColor(g.marks(), kGraphCountLineColor);
  EXPECT_EQ(pieces.size(), 59u);
  std::vector<int> ys;
  if (pieces.empty()) return ys;
  ys.push_back(pieces.front().b);
  for (size_t j = 0; j < pieces.size(); ++j) {
    if (j > 0) {
      EXPECT_EQ(pieces[j].b, pieces[j - 1].d) << "piece " << j << " does not join";
    }
    ys.push_back(pieces[j].d);
  }
  return ys;
}

std::vector<QString> Texts(const RecordingDrawing& g) {
  std::vector<QString> texts;
  for (const Operation& op : g.marks()) {
    if (op.kind == Kind::Text) texts.push_back(op.text);
  }
  return texts;
}

struct Mark {
  Kind kind;
  QRgb color;
  int a, b, c, d;
};

void ExpectMark(const Operation& op, const Mark& want, const char* what) {
  EXPECT_EQ(op.kind, want.kind) << what;
  EXPECT_EQ(op.color, want.color) << what;
  EXPECT_EQ((std::vector<int>{op.a, op.b, op.c, op.d}),
            (std::vector<int>{want.a, want.b, want.c, want.d}))
      << what;
}

TEST(CountRateGraph, PaintDrawsFrameGridBaseLineCountLineAndTextsInThatOrder) {
  const RecordingDrawing g = Paint(Series());
  const std::vector<Operation> marks = g.marks();
  ASSERT_EQ(marks.size(), 4u + 1 + 76 + 23 + 1 + 59 + 2);

  const Mark frame[] = {
      {Kind::Line, kGraphFrameLightColor, 1, 1, 600, 1},
      {Kind::Line, kGraphFrameLightColor, 1, 179, 1, 1},
      {Kind::Line, kGraphFrameShadowColor, 599, 2, 599, 180},
      {Kind::Line, kGraphFrameShadowColor, 1, 179, 600, 179},
      {Kind::Fill, kGraphFrameLightColor, 2, 2, 597, 177},
  };
  size_t at = 0;
  for (const Mark& want : frame) ExpectMark(marks[at++], want, "frame");
  for (int x = 0; x <= 600; x += 8) {
    ExpectMark(marks[at++], {Kind::Line, kGraphGridColor, x, 0, x, 180}, "vertical grid line");
  }
  for (int y = 0; y <= 176; y += 8) {
    ExpectMark(marks[at++], {Kind::Line, kGraphGridColor, 0, y, 600, y}, "horizontal grid line");
  }
  ExpectMark(marks[at++], {Kind::Line, kGraphBaseLineColor, 0, 160, 600, 160}, "base line");
  for (int j = 1; j <= 59; ++j) {
    ExpectMark(
        marks[at++],
        {Kind::Line, kGraphCountLineColor, 56 + (j - 1) * 8, kZeroLevelY, 56 + j * 8, kZeroLevelY},
        "count line piece");
  }
  for (const Mark& want : {Mark{Kind::Text, kGraphTextColor, 400, 21, 0, 0},
                           Mark{Kind::Text, kGraphTextColor, 56, 21, 0, 0}}) {
    EXPECT_EQ(marks[at].font_size, 24.0f);
    ExpectMark(marks[at++], want, "text");
  }
  EXPECT_EQ(Texts(g), (std::vector<QString>{"CPM:0", "03/07/2024 05:09:02 PM"}));
}

TEST(CountRateGraph, SetsEachColourOnceBeforeItsElementAndTheFontBeforeTheTexts) {
  const RecordingDrawing g = Paint(Series());
  std::vector<QRgb> colors;
  int font_sets = 0;
  for (const Operation& op : g.operations()) {
    if (op.kind == Kind::SetColor) colors.push_back(op.color);
    if (op.kind == Kind::SetFontSize) {
      ++font_sets;
      EXPECT_EQ(op.font_size, 24.0f);
      EXPECT_EQ(op.color, kGraphCountLineColor) << "the font is set before the text colour";
    }
  }
  EXPECT_EQ(font_sets, 1);
  EXPECT_EQ(colors, (std::vector<QRgb>{kGraphFrameLightColor, kGraphFrameShadowColor,
                                       kGraphFrameLightColor, kGraphGridColor, kGraphBaseLineColor,
                                       kGraphCountLineColor, kGraphTextColor}));
  EXPECT_EQ(kGraphFrameShadowColor, qRgb(0x8C, 0x8C, 0x8C));
  EXPECT_EQ(kGraphGridColor, qRgb(0xEF, 0xEF, 0xEF));
  EXPECT_EQ(kGraphBaseLineColor, qRgb(0x99, 0x00, 0x99));
  EXPECT_EQ(kGraphCountLineColor, qRgb(0x7B, 0x68, 0xEE));
  EXPECT_EQ(kGraphTextColor, qRgb(0x22, 0x8B, 0x22));
}

struct MinuteCase {
  const char* name;
  std::map<int, qint64> counts;   // sample index within the minute -> count; the rest are 0
  std::map<int, int> expected_y;  // sample index -> y; the rest lie at the zero level
  QString cpm;
};

TEST(CountRateGraph, CountLineScaleTruncationAndSum) {
  const std::vector<MinuteCase> cases = {
      {"all zeros", {}, {}, "CPM:0"},
      {"largest 5: 24 pixels a count",
       {{10, 1}, {20, 5}, {59, 3}},
       {{10, 128}, {20, 32}, {59, 80}},
       "CPM:9"},
      {"largest 6: r = 2.5", {{0, 1}, {30, 6}}, {{0, 132}, {30, 32}}, "CPM:7"},
      {"largest 7: truncated, not rounded", {{5, 1}, {6, 7}}, {{5, 134}, {6, 32}}, "CPM:8"},
      {"largest 29 lands one pixel above", {{40, 29}, {41, 1}}, {{40, 31}, {41, 147}}, "CPM:30"},
      {"-1 below the base line lowers the sum", {{2, -1}, {3, 3}}, {{2, 176}, {3, 80}}, "CPM:2"},
      {"only negatives keep the scale at 3", {{0, -2}, {59, -1}}, {{0, 200}, {59, 176}}, "CPM:-3"},
      {"a count far below zero is held at a million pixels",
       {{1, std::numeric_limits<qint32>::min()}, {2, 1}},
       {{1, 1 << 20}, {2, 128}},
       "CPM:-2147483647"},
  };
  for (const MinuteCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<int, qint64> counts;
    for (const auto& [i, v] : c.counts) counts[kNewestMinuteStart + i] = v;
    const RecordingDrawing g = Paint(Series(counts));
    std::vector<int> want(60, kZeroLevelY);
    for (const auto& [i, y] : c.expected_y) want[i] = y;
    EXPECT_EQ(SampleYs(g), want);
    EXPECT_EQ(Texts(g).at(0), c.cpm);
  }
}

struct ScrollCase {
  const char* name;
  qint64 cpm_start;
  int scroll_value;
  std::map<int, int> expected_y;
  QString cpm;
  QString label;
};

TEST(CountRateGraph, ScrollChoosesTheMinuteAndMovesTheLabelBack) {
  // The oldest minute has a 1 at its sample 3, the newest a 2 at sample 7 and a 1 at sample 59,
  // the minute one before the newest a 4 at its sample 0.
  const std::vector<qint64> cps =
      Series({{3, 1}, {86340 + 7, 2}, {86399, 1}, {86280, 4}, {86400, 99}});
  const std::vector<ScrollCase> cases = {
      {"oldest minute, 23 h 59 min before now",
       0,
       0,
       {{3, 128}},
       "CPM:1",
       "03/06/2024 05:10:02 PM"},
      {"newest minute, now",
       86340,
       86340,
       {{7, 104}, {59, 128}},
       "CPM:3",
       "03/07/2024 05:09:02 PM"},
      {"one minute back", 86280, 86280, {{0, 56}, {59, 152}}, "CPM:4", "03/07/2024 05:08:02 PM"},
      {"a start past the newest minute shows the newest",
       90000,
       86340,
       {{7, 104}, {59, 128}},
       "CPM:3",
       "03/07/2024 05:09:02 PM"},
      {"a start before the oldest shows the oldest",
       -5,
       0,
       {{3, 128}},
       "CPM:1",
       "03/06/2024 05:10:02 PM"},
  };
  for (const ScrollCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RecordingDrawing g = Paint(cps, c.cpm_start, c.scroll_value);
    std::vector<int> want(60, kZeroLevelY);
    for (const auto& [i, y] : c.expected_y) want[i] = y;
    EXPECT_EQ(SampleYs(g), want);
    EXPECT_EQ(Texts(g), (std::vector<QString>{c.cpm, c.label}));
  }
}

TEST(CountRateGraph, LabelCrossesMidnightIntoThePreviousDay) {
  struct Case {
    QDateTime now;
    int scroll_value;
    QString label;
  };
  const std::vector<Case> cases = {
      {At(2024, 3, 1, 0, 0, 30), 86280, "02/29/2024 11:59:30 PM"},
      {At(2024, 1, 1, 0, 10, 0), 0, "12/31/2023 12:11:00 AM"},
      {At(2024, 3, 1, 0, 0, 30), 86310, "03/01/2024 12:00:00 AM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label.toStdString());
    EXPECT_EQ(Texts(Paint(Series(), c.scroll_value, c.scroll_value, c.now)).at(1), c.label);
  }
}

TEST(GraphTimeLabel, TwelveHourClockWithMidnightAndNoonAsTwelve) {
  struct Case {
    QDateTime time;
    QString label;
  };
  const std::vector<Case> cases = {
      {At(2024, 3, 7, 0, 0, 0), "03/07/2024 12:00:00 AM"},
      {At(2024, 3, 7, 0, 30, 0), "03/07/2024 12:30:00 AM"},
      {At(2024, 3, 7, 1, 2, 3), "03/07/2024 01:02:03 AM"},
      {At(2024, 3, 7, 11, 59, 59), "03/07/2024 11:59:59 AM"},
      {At(2024, 3, 7, 12, 0, 0), "03/07/2024 12:00:00 PM"},
      {At(2024, 3, 7, 12, 30, 0), "03/07/2024 12:30:00 PM"},
      {At(2024, 3, 7, 13, 0, 0), "03/07/2024 01:00:00 PM"},
      {At(2024, 3, 7, 17, 9, 2), "03/07/2024 05:09:02 PM"},
      {At(2024, 12, 31, 23, 59, 59), "12/31/2024 11:59:59 PM"},
      {At(1999, 1, 9, 8, 5, 0), "01/09/1999 08:05:00 AM"},
  };
  for (const Case& c : cases) EXPECT_EQ(GraphTimeLabel(c.time), c.label);
}

struct CanvasCase {
  int width, height;
  int vertical_lines, horizontal_lines;
  int base_y;
  int cpm_x, text_y;
  float font_size;
};

TEST(CountRateGraph, LayoutFollowsTheGridUnitOfTheCanvasWidth) {
  const std::vector<CanvasCase> cases = {
      {600, 180, 76, 23, 160, 400, 21, 24.0f},
      {70, 180, 71, 181, 20, 50, 7, 3.0f},  // u = 1
      {139, 50, 140, 51, 20, 50, 7, 3.0f},  // 139 / 70 truncates to 1
      {140, 50, 71, 26, 40, 100, 9, 6.0f},  // u = 2
  };
  for (const CanvasCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    RecordingDrawing g(c.width, c.height);
    const std::vector<qint64> cps = Series();
    DrawCountRateGraph(g, cps.data(), kNewestMinuteStart, kNewestMinuteStart, kNow);
    const std::vector<Operation> grid = OfColor(g.marks(), kGraphGridColor);
    int vertical = 0, horizontal = 0;
    for (const Operation& op : grid) (op.a == op.c ? vertical : horizontal)++;
    EXPECT_EQ(vertical, c.vertical_lines);
    EXPECT_EQ(horizontal, c.horizontal_lines);
    const std::vector<Operation> base = OfColor(g.marks(), kGraphBaseLineColor);
    ASSERT_EQ(base.size(), 1u);
    EXPECT_EQ(base[0].b, c.base_y);
    const std::vector<Operation> texts = OfColor(g.marks(), kGraphTextColor);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].a, c.cpm_x);
    EXPECT_EQ(texts[0].b, c.text_y);
    EXPECT_EQ(texts[0].font_size, c.font_size);
  }
}

TEST(CountRateGraph, CanvasNarrowerThanOneGridUnitShowsOnlyItsFrame) {
  for (int width : {69, 1, 0}) {
    SCOPED_TRACE(width);
    RecordingDrawing g(width, 180);
    const std::vector<qint64> cps = Series({{86399, 5}});
    DrawCountRateGraph(g, cps.data(), kNewestMinuteStart, kNewestMinuteStart, kNow);
    const std::vector<Operation> marks = g.marks();
    ASSERT_EQ(marks.size(), 5u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(marks[i].kind, Kind::Line);
    EXPECT_EQ(marks[4].kind, Kind::Fill);
    EXPECT_EQ(marks[0].c, width);
  }
}

}  // namespace
