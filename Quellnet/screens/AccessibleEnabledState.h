#pragma once

/**
 * Qt Quick 6.4 tells assistive technology that a disabled item is enabled and sensitive: its
 * accessible state never looks at the item's `enabled`. install() puts a thin layer over every
 * Qt Quick item's accessible interface that reports a disabled item (or one inside a disabled
 * parent) as disabled and not focusable, and announces the change when `enabled` flips, so a
 * refusing control says so instead of failing silently when pressed. Everything else is the
 * toolkit's own interface. Idempotent; call it before the first window is drawn.
 */
namespace AccessibleEnabledState {
void install();
}
