#pragma once
// COMCTL32, for builds that are not Windows.
#include <windows.h>
