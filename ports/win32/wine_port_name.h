// Under Wine a port is a link in the prefix's dosdevices directory to a unix device, and a
// handle to it is named by that device's path ("\??\Z:\dev\ttyUSB0"), not by the device name
// the port list gives. Only Wine needs this; it is detected when the program runs.
#pragma once

#include <string>

bool RunningUnderWine();

// The name Wine's handles to the port carry; empty when not under Wine, or when the port is
// no link Wine can read.
std::wstring WineHandleNameOfPort(const std::wstring& port);
