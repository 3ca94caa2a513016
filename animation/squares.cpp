// Squares: beside each ball a small square drifts in a straight line and
// rebounds from the edges, drawn at three successive places per tick.
#include <algorithm>

#include "animation/random.h"
#include "animation/scene.h"

void InitSquare(Square& square)
{
    square.size = RandomRange(16, 32);
    square.x = RandomRange(0, gScene.width - 2 * square.size);
    square.y = RandomRange(0, gScene.height - 2 * square.size);
    do {
        square.vx = RandomRange(-10, 10);
    } while (square.vx == 0);
    // A new square always starts moving down.
    square.vy = RandomRange(2, 10);
    ReplaceShapeBrush(square.brush, square.color);
}

void MoveSquare(Square& square, RECT boxes[3])
{
    for (int step = 0; step < 3; ++step) {
        boxes[step] = RECT{square.x, square.y, square.x + square.size, square.y + square.size};
        // Tested after drawing and before moving, without correcting the
        // place: an overshoot of less than one step comes back next time.
        if (square.x < 0 || square.x >= gScene.width - square.size)
            square.vx = -square.vx;
        if (square.y < 0 || square.y >= gScene.height - square.size)
            square.vy = -square.vy;
        square.x += square.vx;
        square.y += square.vy;
    }
}

void DrawSquare(const Square& square, const RECT boxes[3])
{
    HDC frame = gScene.frame.dc;
    if (IsColorful())
        SelectObject(frame, square.brush);
    for (int step = 0; step < 3; ++step) {
        const RECT& box = boxes[step];
        Rectangle(frame, box.left, box.top, box.right, box.bottom);
    }
    if (IsColorful())
        SelectObject(frame, gScene.hollowBrush);
}

void FitSquare(Square& square)
{
    square.x = std::clamp(square.x, 0, std::max(0, gScene.width - square.size));
    square.y = std::clamp(square.y, 0, std::max(0, gScene.height - square.size));
}
