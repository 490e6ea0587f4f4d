#pragma once

// Dispatches everything queued for the thread and returns as soon as the
// queue is empty; never waits. No keystroke translation, no dialog keys.
void PumpMessages();
