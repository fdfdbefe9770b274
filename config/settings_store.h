#pragma once
// The settings store: volume and enable in the section QUARIX_SOUND of
// J27.INI beside the host executable. Its state and its two operations, Init
// and Save, are members of the page (config/config_dlg.h); these are the
// file's steps they are made of.

#include <windows.h>

#include "device/sound_settings.h"

// Builds "<directory of the host executable>\J27.INI" in path. Leaves path
// empty when a step fails or the result would not fit.
void LocateIni(char (&path)[MAX_PATH]);

// Volume (stored as volume + 100) and Enable from the file at iniPath; a
// missing file or key reads as kDefaultSettings. Values are taken as stored.
SoundSettings ReadSettings(const char* iniPath);

// Writes Volume, then Enable, as decimal numbers.
void WriteSettings(const char* iniPath, const SoundSettings& settings);
