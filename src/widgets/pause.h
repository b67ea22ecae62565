#pragma once

// Waits the given number of seconds while the event loop keeps running (repaints, clicks).
// The wait sleeps on a timer in a nested event loop; a zero or negative duration returns at
// once without processing events.
void Pause(float seconds);
