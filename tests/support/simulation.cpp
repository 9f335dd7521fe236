#include "support/simulation.h"

#include <QDir>

Simulation::Simulation() {
  scheduler.onUnhandledError = [this](const QString& what) { unhandledErrors.append(what); };
}

Simulation::~Simulation() = default;

void Simulation::advance(qint64 ms) { scheduler.runUntil(clock.nowUs() + ms * 1000); }

QString Simulation::path(const QString& name) const { return QDir(folder.path()).filePath(name); }
