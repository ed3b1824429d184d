#pragma once
// COM and OLE Automation for Quelta: GUIDs and HRESULTs, IUnknown,
// IDispatch, IClassFactory, error objects, BSTR and VARIANT, type
// information for dual interfaces, the registry and the COM library calls.
#include "platform/com/autoobj.h"
#include "platform/com/bstr.h"
#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/com/registry.h"
#include "platform/com/runtime.h"
#include "platform/com/typedesc.h"
#include "platform/com/types.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"
