#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPixmap>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <ostream>
#include <vector>

#include "monitor/graph.h"
#include "support/on_screen.h"
#include "support/recording_drawing.h"
#include "support/simulation.h"
#include "window/telvar.h"

inline void PrintTo(const QRect& r, std::ostream* os) {
  *os << "(" << r.x() << ", " << r.y() << ") " << r.width() << " x " << r.height();
}

namespace {

using Kind = RecordingDrawing::Kind;
using Operation = RecordingDrawing::Operation;

// The graph as the window draws it, with the window's series, scroll bar and clock.
class GraphViewTest : public ::testing::Test {
 protected:
  Simulation sim;
  std::unique_ptr<TELVAR> window;
  QStringList handlersRun;

  void SetUp() override {
    TELVAR::handlerObserver = [this](const char* name) {
      handlersRun.append(QString::fromLatin1(name));
    };
    window = std::make_unique<TELVAR>(sim.platform());
    sim.clock.setLocalDateTime(QDateTime(QDate(2024, 3, 7), QTime(17, 9, 2), Qt::UTC));
  }

  void TearDown() override {
    window.reset();
    TELVAR::handlerObserver = nullptr;
    EXPECT_TRUE(sim.unhandledErrors.isEmpty()) << sim.unhandledErrors.join('\n').toStdString();
  }

  RecordingDrawing paint() {
    RecordingDrawing g(window->Graph.width(), window->Graph.height());
    window->Graph_Paint(g);
    return g;
  }

  static std::vector<QString> texts(const RecordingDrawing& g) {
    std::vector<QString> found;
    for (const Operation& op : g.marks())
      if (op.kind == Kind::Text) found.push_back(op.text);
    return found;
  }

  // The y of each of the minute's 60 samples, from the pieces of the count line.
  static std::vector<int> sampleYs(const RecordingDrawing& g) {
    std::vector<int> ys;
    for (const Operation& op : g.marks()) {
      if (op.kind != Kind::Line || op.color != kGraphCountLineColor) continue;
      if (ys.empty()) ys.push_back(op.b);
      ys.push_back(op.d);
    }
    return ys;
  }

  int paintsSince(int from) const {
    int paints = 0;
    for (int i = from; i < handlersRun.size(); ++i)
      if (handlersRun[i] == QLatin1String("Graph_Paint")) ++paints;
    return paints;
  }
};

TEST_F(GraphViewTest, ScrollValueChoosesTheMinuteAndTheTimeOfItsLabel) {
  window->CPS[3] = 5;  // oldest minute
  window->CPS[59] = 2;
  window->CPS[60] = 1000;     // just past the oldest minute
  window->CPS[86339] = 1000;  // just before the newest minute
  window->CPS[86340] = 1;
  window->CPS[86399] = 4;
  struct Case {
    int scroll_value;
    std::vector<std::pair<int, int>> ys;  // sample, y; the others lie at the zero level 152
    QString cpm;
    QString label;
  };
  const std::vector<Case> cases = {
      {0, {{3, 32}, {59, 104}}, "CPM:7", "03/06/2024 05:10:02 PM"},
      {86340, {{0, 128}, {59, 56}}, "CPM:5", "03/07/2024 05:09:02 PM"},
  };
  // From the newest minute to the oldest and back: each value comes through the handler.
  for (int pass = 0; pass < 2; ++pass) {
    for (const Case& c : pass == 0 ? std::vector<Case>{cases[0], cases[1]}
                                   : std::vector<Case>{cases[1], cases[0]}) {
      SCOPED_TRACE(c.scroll_value);
      window->ScrollCPS.setValue(c.scroll_value);
      EXPECT_EQ(window->CPMStart, c.scroll_value);
      const RecordingDrawing g = paint();
      std::vector<int> want(60, 152);
      for (const auto& [sample, y] : c.ys) want[sample] = y;
      EXPECT_EQ(sampleYs(g), want);
      EXPECT_EQ(texts(g), (std::vector<QString>{c.cpm, c.label}));
    }
  }
}

TEST_F(GraphViewTest, LineAndLabelMoveOnWithEachSample) {
  window->CPS[86399] = 3;
  const RecordingDrawing before = paint();
  EXPECT_EQ(sampleYs(before).at(59), 80);
  EXPECT_EQ(texts(before).at(1), QStringLiteral("03/07/2024 05:09:02 PM"));

  sim.advance(1000);  // one tick: the poll, unconnected, stores 0
  const RecordingDrawing after = paint();
  EXPECT_EQ(sampleYs(after).at(58), 80);
  EXPECT_EQ(sampleYs(after).at(59), 152);
  EXPECT_EQ(texts(after).at(1), QStringLiteral("03/07/2024 05:09:03 PM"));
}

// Notes the area of every paint event of a widget.
class PaintAreas final : public QObject {
 public:
  explicit PaintAreas(QWidget& widget) { widget.installEventFilter(this); }
  std::vector<QRect> areas;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      areas.push_back(static_cast<QPaintEvent*>(event)->region().boundingRect());
    return false;
  }
};

TEST_F(GraphViewTest, AScrollBarChangeRepaintsTheWholeCanvas) {
  window->show();
  QCoreApplication::processEvents();
  ASSERT_GT(paintsSince(0), 0) << "the canvas is drawn when the window shows";
  PaintAreas paints(window->Graph);
  const int mark = handlersRun.size();

  window->ScrollCPS.setValue(100);
  ASSERT_EQ(handlersRun.mid(mark), QStringList{"ScrollCPS_ValueChanged"})
      << "the paint follows later, from the event loop";
  EXPECT_EQ(window->CPMStart, 100);
  QCoreApplication::processEvents();
  EXPECT_GE(paintsSince(mark), 1);
  // The scroll bar redraws itself, and the canvas under it, anyway; the handler asks for all.
  ASSERT_FALSE(paints.areas.empty());
  EXPECT_EQ(paints.areas.back(), window->Graph.rect());
}

TEST_F(GraphViewTest, TheRealCanvasShowsTheChosenMinute) {
  window->CPS[3] = 5;  // in the oldest minute: x = 56 + 3 * 8, y = 32
  window->ScrollCPS.setValue(0);
  const QImage image = window->Graph.grab().toImage();
  ASSERT_EQ(image.size(), QSize(600, 180));
  EXPECT_EQ(image.pixel(80, 32) & 0xFFFFFF, kGraphCountLineColor & 0xFFFFFF);
  EXPECT_EQ(image.pixel(300, 152) & 0xFFFFFF, kGraphCountLineColor & 0xFFFFFF)
      << "the other samples lie at the zero level";
  EXPECT_EQ(image.pixel(20, 160) & 0xFFFFFF, kGraphBaseLineColor & 0xFFFFFF);
  EXPECT_EQ(image.pixel(300, 100) & 0xFFFFFF, qRgb(255, 255, 255) & 0xFFFFFF)
      << "background between the grid lines";

  window->ScrollCPS.setValue(86340);  // the newest minute is all zeros
  const QImage newest = window->Graph.grab().toImage();
  EXPECT_EQ(newest.pixel(80, 32) & 0xFFFFFF, kGraphGridColor & 0xFFFFFF) << "only the grid there";
  EXPECT_EQ(newest.pixel(80, 152) & 0xFFFFFF, kGraphCountLineColor & 0xFFFFFF);
}

// Columns of the canvas that hold some of the texts' green ink, within rows top to bottom.
std::vector<bool> textInkColumns(const QImage& image, int top, int bottom) {
  std::vector<bool> inked(image.width(), false);
  for (int y = top; y <= bottom; ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      // Green over white or the grid: far more green than red or blue, even where anti-aliased.
      if (qGreen(p) - std::max(qRed(p), qBlue(p)) > 40) inked[x] = true;
    }
  return inked;
}

bool anyInked(const std::vector<bool>& columns, int from, int to) {
  for (int x = from; x < to; ++x)
    if (columns[x]) return true;
  return false;
}

TEST_F(GraphViewTest, TheWidestLabelAndALongCPMStandApartWithinTheRealCanvas) {
  struct Case {
    QTime time;
    qint64 count;  // the minute's one count, and so its sum
    QString cpm;
    QString label;
  };
  const std::vector<Case> cases = {
      {QTime(12, 59, 59), 1234567, "CPM:1234567", "12/31/2026 12:59:59 PM"},
      {QTime(0, 59, 59), -999999, "CPM:-999999", "12/31/2026 12:59:59 AM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label.toStdString());
    sim.clock.setLocalDateTime(QDateTime(QDate(2026, 12, 31), c.time, Qt::UTC));
    window->CPS[86399] = c.count;
    EXPECT_EQ(texts(paint()), (std::vector<QString>{c.cpm, c.label}));

    const QImage image = window->Graph.grab().toImage();
    ASSERT_EQ(image.size(), QSize(600, 180));
    if (c.time.hour() == 12) SaveForALook(image, "graph-wide-label.png");
    const int w = image.width();
    // Both texts stand on y 21; the band above the base line holds all of their ink.
    const std::vector<bool> text = textInkColumns(image, 0, 60);
    EXPECT_TRUE(anyInked(text, 56, 390)) << "the label is drawn";
    EXPECT_FALSE(anyInked(text, 390, 400)) << "the label ends short of the CPM text at x 400";
    EXPECT_TRUE(anyInked(text, 400, w - 2)) << "the CPM text is drawn";
    EXPECT_FALSE(anyInked(text, w - 2, w)) << "the CPM text runs into the right edge";
    EXPECT_FALSE(anyInked(textInkColumns(image, 0, 1), 0, w)) << "the texts run into the top edge";
  }
}

TEST_F(GraphViewTest, TheRefreshRepaintsWhenWhatTheGraphShowsHasChanged) {
  window->GetCPSTimer.setMode(Timer::kOff);  // the series changes only as the test says
  window->show();
  QCoreApplication::processEvents();
  ASSERT_GT(paintsSince(0), 0);
  auto paintsOverTicks = [&](int ticks) {
    const int mark = handlersRun.size();
    for (int i = 0; i < ticks; ++i) {
      sim.advance(100);
      QCoreApplication::processEvents();
    }
    return paintsSince(mark);
  };

  // The label counts seconds: within one second the graph shows the same, so it is drawn once.
  EXPECT_EQ(paintsOverTicks(10), 1);
  EXPECT_EQ(paintsOverTicks(10), 1);

  // A new count in the minute shown is drawn by the next tick, within the same second.
  sim.advance(100);
  QCoreApplication::processEvents();
  window->CPS[86399] = 7;
  EXPECT_EQ(paintsOverTicks(1), 1);
  EXPECT_EQ(paintsOverTicks(1), 0);
  window->CPS[5] = 7;  // outside the minute shown
  EXPECT_EQ(paintsOverTicks(1), 0);
}

}  // namespace
