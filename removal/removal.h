#pragma once
// Closing the running product and removing both installed trees.

// How long RemoveInstallation tries each tree before it gives up.
inline constexpr unsigned long RemovalTimeoutPerTreeMs = 60000;

// Sends WM_DESTROY to the product's two windows, where they exist.
void CloseProductWindows();

// Removes the install tree, then the data tree. True when both roots and both
// temporary names are gone.
bool RemoveInstallation(unsigned long timeoutPerTreeMs = RemovalTimeoutPerTreeMs);
