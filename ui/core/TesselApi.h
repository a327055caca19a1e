#pragma once

// Classes and functions that Tessel.dll exports carry TESSEL_API.
#ifdef TESSEL_BUILDING_DLL
#define TESSEL_API __declspec(dllexport)
#else
#define TESSEL_API __declspec(dllimport)
#endif
