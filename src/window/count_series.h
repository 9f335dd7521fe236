#pragma once

// The count-rate series the window keeps, one count a second for 24 hours with the newest last,
// and the minute of it that the graph shows.
inline constexpr int kSeriesCounts = 86400;
inline constexpr int kNewestCountIndex = kSeriesCounts - 1;
// The window's array holds one element more, which is never read or written.
inline constexpr int kCPSSize = kSeriesCounts + 1;

inline constexpr int kGraphSampleCount = 60;
// The scroll position, and the series index of the first sample, of the newest minute.
inline constexpr int kNewestMinuteStart = kSeriesCounts - kGraphSampleCount;
