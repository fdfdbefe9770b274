#pragma once
// What --info reports about an input, without playing it.

#include <string>

#include "host/gd3_tags.h"
#include "host/port_script.h"
#include "host/vgm_reader.h"

// A duration as M:SS.ss (H:MM:SS.ss from an hour on).
std::string ClockTime(double seconds);

// Header facts of a VGM and its tags, as indented lines.
std::string DescribeVgm(const VgmSong& song, const Gd3Tags& tags);

// Lines, frames and rates of a port script, as indented lines.
std::string DescribeScript(const PortScript& script);
