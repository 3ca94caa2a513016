// The animation's entry points for the saver window: the shell hands every
// message it does not consume to AnimationProc, which always ends by passing
// the message on to DefaultSaverProc, and tells the scene when the display
// goes off and comes back.
#pragma once

#include <windows.h>

// What the scene of a saver window is made from, handed over by whoever
// creates the window as its creation data (CreateWindowExA's last
// argument, which WM_CREATE brings): the size of the scene (the area the
// full-screen saver covers, even for a preview, which shows its top-left
// corner), the settings, and whether the window is a preview, whose scene
// is blank when it has no room. A window created without one gets a blank
// scene.
struct SceneRequest {
    int width;
    int height;
    int colorMode;
    int count;
    bool preview;
};

LRESULT AnimationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The display is off: the scene stops ticking (no timer, no drawing, no
// copies to the window) and keeps every shape where it is.
void RestScene(HWND window);
// The display is back: the scene goes on from where it rested, and the
// first paint copies the whole frame. Nothing for a scene that is not
// resting; a blank scene gets no timer.
void WakeScene(HWND window);
// The screen the full-screen window covers has changed: the scene goes on
// at width x height (ResizeScene), the old scene's corner lying at `at` in
// the new one, and the whole window is painted anew. A resting scene takes
// the change without drawing and shows it when it wakes.
void FollowScreen(HWND window, int width, int height, POINT at);
