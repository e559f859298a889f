#pragma once
// The sensor grid as the station stores every frame and table: Tx lines are rows (at most 46),
// Rx lines are columns (at most 72), whatever the controller's counts. X in a recipe means Rx,
// Y means Tx.
#include <array>

namespace controllerlink {

inline constexpr int kGridTx = 46;
inline constexpr int kGridRx = 72;

// [tx][rx]; only the first rxCount cells of the first txCount rows of a frame mean anything.
using Grid = std::array<std::array<double, kGridRx>, kGridTx>;

}  // namespace controllerlink
