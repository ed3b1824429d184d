#pragma once
// The class of the tests' own COM server.
#include "platform/com/com.h"

inline constexpr CLSID CLSID_BasicTestCounter =
    com::MakeGuid("{8E1F5C20-4A6B-4D3E-A1C7-93B2D0E4F615}");
inline constexpr const char* kBasicTestProgId = "BasicTest.Counter";
