// Balls: enter at the top-left corner, fall under gravity, bounce ever lower
// with a one-tick squash, turn back faster at the right edge and are reborn
// once they have left on the left. Also the shapes' shared brush renewal.
#include <algorithm>

#include "animation/random.h"
#include "animation/scene.h"

void ReplaceShapeBrush(HBRUSH& brush, COLORREF& color)
{
    if (!IsColorful())
        return;
    // The old brush may be the one selected right now (a ball reborn in the
    // middle of its step); a selected brush must not be deleted.
    if (gScene.hollowBrush)
        SelectObject(gScene.frame.dc, gScene.hollowBrush);
    DeleteShapeBrush(brush);
    color = PickShapeColor();
    brush = CreateShapeBrush(color);
}

void InitBall(Ball& ball)
{
    ball.size = RandomRange(gScene.minBallSize, gScene.maxBallSize);
    ball.y = -ball.size;
    ball.x = -ball.size;
    ball.speed = RandomRange(10, 25);
    ball.returning = 0;
    ball.vy = 0;
    ReplaceShapeBrush(ball.brush, ball.color);
}

RECT MoveBall(Ball& ball)
{
    if (!ball.returning) {
        ball.x += ball.speed;
    } else {
        ball.x -= ball.speed;
        // Strictly beyond: a ball exactly at -size is reborn one step later.
        if (ball.x < -ball.size)
            InitBall(ball);
    }
    ball.vy += Gravity;
    ball.y += ball.vy;
    // Tested whatever the direction: the clamp is what the wave watches.
    if (ball.x > gScene.width - ball.size) {
        ball.x = gScene.width - ball.size;
        ball.returning = 1;
        ++ball.speed;
    }
    if (ball.y + ball.size > gScene.height && ball.vy > 0) {
        // Only the velocity turns; gravity added before the move makes each
        // bounce lower than the last.
        ball.vy = -ball.vy;
        return RECT{ball.x, gScene.height - ball.size / 2, ball.x + ball.size, gScene.height};
    }
    return RECT{ball.x, ball.y, ball.x + ball.size, ball.y + ball.size};
}

void DrawBall(const Ball& ball, const RECT& box, bool hollow)
{
    HDC frame = gScene.frame.dc;
    if (IsColorful())
        SelectObject(frame, hollow ? gScene.hollowBrush : ball.brush);
    Ellipse(frame, box.left, box.top, box.right, box.bottom);
    if (IsColorful())
        SelectObject(frame, gScene.hollowBrush);
}

void FitBall(Ball& ball)
{
    ball.size = std::clamp(ball.size, gScene.minBallSize, gScene.maxBallSize);
    // Below the floor a ball would bounce there, out of sight, for good; it
    // goes on from the floor with the speed it had.
    ball.y = std::min(ball.y, gScene.height - ball.size);
    // A ball beyond the right edge is turned back by its next move.
}
