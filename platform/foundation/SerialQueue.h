#pragma once

#include <functional>

/**
 * The platform's one background worker for disk, lock and process work, so that waiting for a
 * lock held by another process or for an authentication prompt never freezes the GUI thread.
 * Work runs one item at a time in the order it was started; an item that reports back posts
 * its completion with dispatchToMain(), so completions reach the GUI thread in that same order.
 * The worker belongs to the QCoreApplication: its destruction waits for the item in hand.
 */
void runSerially(std::function<void()> work);
