#pragma once

namespace orbelune::keys {

inline constexpr const char* kSweepMethod = "SweepMethod";
inline constexpr const char* kSweepRate = "SweepRate";
inline constexpr const char* kFrequencyX1 = "FrequencyX1";
inline constexpr const char* kFrequencyX2 = "FrequencyX2";
inline constexpr const char* kFrequencyY1 = "FrequencyY1";
inline constexpr const char* kFrequencyY2 = "FrequencyY2";
inline constexpr const char* kInitialPhaseX = "InitialPhaseX";
inline constexpr const char* kInitialPhaseX2 = "InitialPhaseX2";
inline constexpr const char* kInitialPhaseY = "InitialPhaseY";
inline constexpr const char* kInitialPhaseY2 = "InitialPhaseY2";
inline constexpr const char* kFigureSize = "FigureSize";
inline constexpr const char* kLineWidth = "LineWidth";
inline constexpr const char* kFitToScreenSize = "FitToScreenSize";
inline constexpr const char* kShowCurrentValue = "ShowCurrentValue";
inline constexpr const char* kShowFrequency = "ShowFrequency";
inline constexpr const char* kShowInitialPhase = "ShowInitialPhase";
inline constexpr const char* kShuffleMinutes = "ShuffleMinutes";
// The idle watcher's minutes, written by the settings app; the figure does not read it.
inline constexpr const char* kStartAfterMinutes = "StartAfterMinutes";
// How long after the idle watcher's figure showed the session locks (0: never).
inline constexpr const char* kLockAfterMinutes = "LockAfterMinutes";

// Colours in the keyed format (current systems).
inline constexpr const char* kKeyedLineColor = "Keyed_LineColor";
inline constexpr const char* kKeyedTextColor = "Keyed_TextColor";
inline constexpr const char* kKeyedBackColor = "Keyed_BackColor";
// Colours in the legacy format (older systems; read for migration on current ones).
inline constexpr const char* kLineColor = "LineColor";
inline constexpr const char* kTextColor = "TextColor";
inline constexpr const char* kBackColor = "BackColor";

inline constexpr const char* kKeyedPrefix = "Keyed_";

}  // namespace orbelune::keys
