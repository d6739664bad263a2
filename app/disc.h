// Finding the install disc and handing over to a running or installed copy.
#pragma once

enum class DiscResult { Found, Cancelled, Failed };

// Scans A: to Z: for a CD-ROM whose SETUP.INI names the built-in title, prompting
// for disc 1 until found or cancelled; on Found, sourceRoot/scriptPath are set and
// g_config is loaded. Failed: the script of the recognised disc did not load.
DiscResult FindSourceDisc();

// True when another copy's wizard, or the game itself, was brought forward.
bool ActivateRunningCopy();

// True when the install record names a folder holding the game and its start was requested.
bool LaunchInstalledGame();
