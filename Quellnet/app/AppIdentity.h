#pragma once

/**
 * Tells Qt and the platform layers who this app is: the bundle's identifier, display name and
 * version, and the organisation and application names behind its data folder and settings.
 * Called first by every program that stands in for the app (the app itself, the screenshot
 * tool), so they all share one store and one DNS configuration.
 */
void installAppIdentity();
