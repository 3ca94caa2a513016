// The spread scene of the exactness test and the benchmark, without
// GoogleTest so that the benchmark can have it too.
#pragma once

#include "animation/scene.h"

// Moves pair i on by i * ticks ticks of its own and makes every pair
// active: the shapes lie over the whole screen as the wave leaves them, not
// all near the corner they start from (with no ticks, all there at once).
inline void SpreadPairs(int ticks)
{
    for (int i = 0; i < gScene.count; ++i) {
        RECT steps[3];
        for (int t = 0; t < i * ticks; ++t) {
            MoveBall(*gScene.balls[i]);
            MoveSquare(*gScene.squares[i], steps);
        }
    }
    gScene.active = gScene.count;
    gScene.wave = Wave::Shrinking;
}
