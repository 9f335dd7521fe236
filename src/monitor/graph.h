#pragma once

#include <QDateTime>
#include <QRgb>
#include <QString>
#include <QtGlobal>

#include "window/count_series.h"

class Drawing;

inline constexpr QRgb kGraphFrameLightColor = qRgb(255, 255, 255);
inline constexpr QRgb kGraphFrameShadowColor = qRgb(140, 140, 140);
inline constexpr QRgb kGraphGridColor = qRgb(239, 239, 239);
inline constexpr QRgb kGraphBaseLineColor = qRgb(153, 0, 153);
inline constexpr QRgb kGraphCountLineColor = qRgb(123, 104, 238);
inline constexpr QRgb kGraphTextColor = qRgb(34, 139, 34);

// Draws the whole graph anew: frame, grid, base line, the minute of `cps` starting at
// `cpm_start` as a line, its sum as "CPM:" text, and the time of that minute, which lies
// (kNewestMinuteStart - scroll_value) seconds before `now`. `cps` holds at least
// kNewestMinuteStart + kGraphSampleCount counts; `cpm_start` is kept within 0..kNewestMinuteStart
// so no read falls outside them. Runs through without yielding: a paint is short, and the
// user-interface thread must not block inside it.
void DrawCountRateGraph(Drawing& g, const qint64* cps, qint64 cpm_start, int scroll_value,
                        const QDateTime& now);

// "MM/DD/YYYY hh:mm:ss AM" on the 12-hour clock, where midnight and noon are hour 12.
QString GraphTimeLabel(const QDateTime& time);
