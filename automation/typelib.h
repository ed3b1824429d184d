#pragma once
// The library's static type description and the type information its
// objects dispatch through.
#include "automation/quelta_tlb.h"

namespace quelta {

extern const com::TypeLibInfo kTypeLib;
extern const com::CoclassInfo kMessageClass;
extern const com::CoclassInfo kSmtpClass;

// "Quelta.QueltaMessage", "Quelta.QueltaSMTP": library name, ".", coclass name.
inline constexpr const char* kMessageProgId = "Quelta.QueltaMessage";
inline constexpr const char* kSmtpProgId = "Quelta.QueltaSMTP";

// The interface's type information, made on first use and kept until the
// library is unloaded; null when it cannot be made.
ITypeInfo* TypeInfoOf(REFIID iid);

} // namespace quelta
