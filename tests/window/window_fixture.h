#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <memory>
#include <ostream>

#include "support/simulation.h"
#include "window/telvar.h"

inline void PrintTo(const QRect& r, std::ostream* os) {
  *os << "(" << r.x() << ", " << r.y() << ") " << r.width() << " x " << r.height();
}
inline void PrintTo(const QSize& s, std::ostream* os) { *os << s.width() << " x " << s.height(); }

// A main window made in a simulated world, with every handler that starts noted by name.
struct WindowTest : ::testing::Test {
  Simulation sim;
  QStringList handlersRun;
  std::unique_ptr<TELVAR> window;

  void SetUp() override {
    TELVAR::handlerObserver = [this](const char* name) {
      handlersRun.append(QString::fromLatin1(name));
    };
    window = std::make_unique<TELVAR>(sim.platform());
  }

  void TearDown() override {
    window.reset();
    TELVAR::handlerObserver = nullptr;
  }

  // Shows the window and lets the toolkit lay it out and paint it.
  void show() {
    window->show();
    QCoreApplication::processEvents();
  }

  // The handlers that ran, paints of the graph left out.
  QStringList handlersBesidesPaint() const {
    QStringList others;
    for (const QString& name : handlersRun)
      if (name != QLatin1String("Graph_Paint")) others.append(name);
    return others;
  }
};
